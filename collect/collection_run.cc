// The collection run behind the collect button.
#include <algorithm>
#include <climits>
#include <memory>

#include <curl/curl.h>

#include "collect/collect.h"
#include "web/web.h"

namespace qm {

std::int32_t collected_count = 0;

namespace {

// The run's fixed GBK texts, converted once.
struct RunTexts {
  Text collecting = gbk_from_utf8("采集中");
  Text collect = gbk_from_utf8("采集问题");
  Text next_page = gbk_from_utf8("下一页");
  Text exact_prefix = gbk_from_utf8("采集到精确的问题 (");
  Text fuzzy_prefix = gbk_from_utf8("采集到模糊的问题 (");
  Text count_suffix = gbk_from_utf8(") 个");
  Text id_left = Text("<a href=\"http://") + SITE_HOST + "/question/";
  Text id_right = ".html\"";
  Text title_left = "/><title>";
  Text title_right = "_Pelquor</title>";
  Text line_end = "\r\n";
};

const RunTexts& run_texts() {
  static const RunTexts texts;
  return texts;
}

struct CurlFree {
  void operator()(char* p) const noexcept { curl_free(p); }
};

Text percent_encode(const Text& bytes) {
  if (bytes.empty()) return {};
  // libcurl ignores the handle for escaping; it keeps exactly A-Z a-z 0-9 -._~.
  std::unique_ptr<char, CurlFree> escaped(curl_easy_escape(nullptr, bytes.c_str(), bytes.length()));
  return escaped ? Text(escaped.get()) : Text();
}

void clear_site_cookies() { cookie_clear_site(SITE_HOST); }

// One question: fetch, filter, cut the title, list it. Cookies are cleared
// afterwards whatever became of it; `store_cleared` says that the step
// before was a question's, which left the store cleared, and nothing has
// been requested since.
void question_step(RunWindow& window, const Text& id, const RunLimits& limits,
                   bool store_cleared) {
  const RunTexts& t = run_texts();
  // A link whose identifier would end the request line is no question; the
  // client would refuse it too, but only after handing it to a worker.
  if (!inet_address_is_requestable(id.view())) {
    if (!store_cleared) clear_site_cookies();
    return;
  }
  const Text page = web_fetch_page(collect_question_address(id), 0, std::nullopt, std::nullopt,
                                   std::nullopt, std::nullopt,
                                   std::max(1, limits.question_timeout_seconds))
                        .as_text();
  // A timed-out fetch hands back a message in place of the page: never a title.
  if (!page.empty() && page != web_timeout_message()) {
    const bool exact = window.exact();
    if (!exact || text_find(page, window.keyword(), std::nullopt, false) != -1) {
      const Text title = text_between(page, t.title_left, t.title_right);
      // An empty title (no markers, an error page) is not a question.
      if (!title.empty()) {
        window.append_results(title + t.line_end);
        ++collected_count;
        window.set_results_caption((exact ? t.exact_prefix : t.fuzzy_prefix) +
                                   text_from_int(collected_count) + t.count_suffix);
      }
    }
  }
  clear_site_cookies();
}

}  // namespace

Text collect_search_address(std::int32_t search_offset, const Text& keyword) {
  return Text("http://") + SITE_HOST + "/search?lm=0&rn=10&pn=" + text_from_int(search_offset) +
         "&fr=search&ie=gbk&word=" + percent_encode(keyword);
}

Text collect_question_address(const Text& id) {
  return Text("http://") + SITE_HOST + "/question/" + id + ".html";
}

void collection_run(RunWindow& window) { collection_run(window, RunLimits{}); }

void collection_run(RunWindow& window, const RunLimits& limits) {
  const RunTexts& t = run_texts();
  window.set_collect_button(false, t.collecting);
  window.set_results(Text());
  collected_count = 0;

  std::int32_t search_offset = 0;
  TextList question_ids;
  for (int pass = 0; !limits.max_pages || pass < *limits.max_pages; ++pass) {
    // Probe: an empty page ends the run at once; a page without a next page
    // is the last one, still harvested and worked below.
    const Text probe =
        inet_get_plain(collect_search_address(search_offset, window.keyword()), limits.result_timeout)
            .as_text();
    if (probe.empty()) break;
    const bool last = text_find(probe, t.next_page, std::nullopt, false) == -1;

    const Text page =
        inet_get_plain(collect_search_address(search_offset, window.keyword()), limits.result_timeout)
            .as_text();
    if (!page.empty()) {
      text_all_between(page, t.id_left, t.id_right, &question_ids);
      const std::size_t n = question_ids.size();
      for (std::size_t i = 0; i < n; ++i) question_step(window, question_ids[i], limits, i > 0);
    }
    clear_site_cookies();
    if (last || search_offset > INT32_MAX - 10) break;
    search_offset += 10;
  }

  window.set_collect_button(true, t.collect);
}

}  // namespace qm
