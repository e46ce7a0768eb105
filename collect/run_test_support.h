// Test helpers for collection runs against the fake site: corpus builders,
// a RunWindow that records what the run did to it, and a fixture that routes
// the site's host to a fresh FakeSite with an empty cookie store.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "collect/collect.h"
#include "fakesite/fake_site.h"
#include "web/web.h"

namespace qm::testing {

inline Text G(std::string_view utf8) { return gbk_from_utf8(utf8); }

// `n` questions under `keyword`, identifiers from `first_id` on; every title
// and body holds the keyword.
inline std::vector<FakeQuestion> questions(const std::string& keyword, int n, long long first_id) {
  std::vector<FakeQuestion> out;
  for (int i = 0; i < n; ++i) {
    const std::string number = std::to_string(i + 1);
    out.push_back({keyword, std::to_string(first_id + i), keyword + "问题第" + number + "号",
                   "这是关于" + keyword + "的第" + number + "个问题。"});
  }
  return out;
}

inline std::vector<FakeQuestion> concat(std::vector<FakeQuestion> a,
                                        const std::vector<FakeQuestion>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The GBK lines a run lists for these questions, each followed by "\r\n".
inline Text listed(const std::vector<FakeQuestion>& qs) {
  Text out;
  for (const FakeQuestion& q : qs) out += G(q.title) + "\r\n";
  return out;
}

// A window whose controls are plain values; every call is logged.
class RecordingWindow : public RunWindow {
 public:
  Text keyword_value;
  bool exact_value = false;
  bool button_enabled = true;
  Text button_caption = G("采集问题");
  Text results;
  Text caption = G("采集到的问题");
  // Called after each append, with the number of appends so far; may change
  // the controls, as a user could while the run waits.
  std::function<void(RecordingWindow&, int)> after_append;

  struct Append {
    Text text;
    bool button_enabled;
    Text button_caption;
    Text caption_before;  // the frame's caption when the title arrived
  };
  std::vector<Append> appends;
  std::vector<Text> captions;  // every caption set, in order
  std::vector<std::pair<bool, Text>> buttons;

  Text keyword() override { return keyword_value; }
  bool exact() override { return exact_value; }
  void set_collect_button(bool enabled, const Text& text) override {
    button_enabled = enabled;
    button_caption = text;
    buttons.emplace_back(enabled, text);
  }
  void set_results(const Text& text) override { results = text; }
  void append_results(const Text& text) override {
    results += text;
    appends.push_back({text, button_enabled, button_caption, caption});
    if (after_append) after_append(*this, static_cast<int>(appends.size()));
  }
  void set_results_caption(const Text& text) override {
    caption = text;
    captions.push_back(text);
  }
};

// A fake site reached through the site's own host name.
class SiteTest : public ::testing::Test {
 protected:
  void serve(std::vector<FakeQuestion> corpus, FakeBehaviour behaviour = {}) {
    site_.reset();
    site_ = std::make_unique<FakeSite>(std::move(corpus));
    ASSERT_NE(site_->port(), 0);
    site_->set_behaviour(std::move(behaviour));
    inet_set_route(site_->route());
    inet_clear_all_cookies();
  }
  void TearDown() override {
    inet_set_route("");
    inet_clear_all_cookies();
    site_.reset();
  }
  FakeSite& site() { return *site_; }

  // The "pn" values of the result-page requests, in order.
  std::vector<int> searched_offsets() const {
    std::vector<int> out;
    for (const FakeRequest& r : site_->requests()) {
      if (r.path != "/search") continue;
      const std::size_t at = r.query.find("pn=");
      out.push_back(at == std::string::npos ? -1 : std::atoi(r.query.c_str() + at + 3));
    }
    return out;
  }

  std::unique_ptr<FakeSite> site_;
};

}  // namespace qm::testing
