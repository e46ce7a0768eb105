// text_between, text_left_of, text_count_occurrences and text_after_last:
// the two senses of the case flag, "#引号" in markers, empty markers and
// out-of-range starts, two-byte characters, event dispatch while counting,
// and agreement with the plain reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>

#include "text/testing/gbk_samples.h"
#include "text/testing/reference.h"
#include "text/text.h"

namespace qm {
namespace {

using std::nullopt;
using std::string;

using gbk::S;

struct BetweenCase {
  string text;
  string left;
  string right;
  std::optional<int> start;
  std::optional<bool> case_sensitive;
  string expected;
};

TEST(TextBetween, Cases) {
  const BetweenCase cases[] = {
      {"x<a>y<b>z", "<", ">", nullopt, nullopt, "a"},
      {"x<a>y<b>z", "<", ">", 3, nullopt, "b"},
      {"x<a>y<b>z", "(", ">", nullopt, nullopt, ""},   // no left marker
      {"x>a<y", "<", ">", nullopt, nullopt, ""},       // right marker only before the left
      {"abc<", "<", ">", nullopt, nullopt, ""},        // left marker at the very end
      {"a<>b", "<", ">", nullopt, nullopt, ""},        // right marker right after the left
      {"ab", "<", ">", 3, nullopt, ""},                // start past the end
      // An empty left marker is found at 1: everything before the first right marker.
      {"ab>cd>", "", ">", nullopt, nullopt, "ab"},
      {"ab>cd>", "", ">", 4, nullopt, "ab"},
      {"a<bc", "<", "", nullopt, nullopt, ""},
      // Case is ignored unless told otherwise.
      {"<p/><TITLE>Hi_PELQUOR</title>", "/><title>", "_Pelquor</title>", nullopt, nullopt, "Hi"},
      {"<p/><TITLE>Hi_PELQUOR</title>", "/><title>", "_Pelquor</title>", nullopt, true, ""},
      // "#引号" in a marker stands for a double quote; elsewhere it is itself.
      {"<a href=\"q1\">", S("href=", gbk::kQuoteWord), gbk::kQuoteWord, nullopt, nullopt, "q1"},
      {S("[", gbk::kQuoteWord, "]"), "[", "]", nullopt, nullopt, gbk::kQuoteWord},
      // Markers are found at character starts only; folding reaches second bytes.
      {S(gbk::kMa, "<x>"), "a<", ">", nullopt, nullopt, ""},
      {S("a<", gbk::kMa, ">"), "a<", ">", nullopt, nullopt, gbk::kMa},
      {S("[", gbk::kTi, "x}"), "[", "}", nullopt, nullopt, S(gbk::kTi, "x")},
      {S(gbk::kNao, "x", gbk::kNao), "\xC4x", "\xC4X", nullopt, nullopt, "x"},
      // A text ending in a lone lead byte.
      {"<a>\xB0", "<", "\xB0", nullopt, nullopt, "a>"},
  };
  for (const BetweenCase& c : cases) {
    EXPECT_EQ(text_between(Text(c.text), Text(c.left), Text(c.right), c.start, c.case_sensitive),
              Text(c.expected))
        << Text(c.text) << " between " << Text(c.left) << " and " << Text(c.right) << " from "
        << c.start.value_or(1);
  }
}

TEST(TextLeftOf, Cases) {
  const BetweenCase cases[] = {
      // (right unused; case_sensitive holds the ignore-case flag)
      {"a;b;c", ";", "", nullopt, nullopt, "a"},
      {"a;b;c", ";", "", 3, nullopt, "a;b"},
      {"a;b;c", ";", "", 0, nullopt, "a"},
      {"a;b;c", ";", "", -2, nullopt, "a"},
      {";b", ";", "", nullopt, nullopt, ""},
      {"abc", ";", "", nullopt, nullopt, ""},
      {"abc", "", "", nullopt, nullopt, ""},
      {"axb", "X", "", nullopt, nullopt, ""},  // exact by default
      {"axb", "X", "", nullopt, true, "a"},
      {S(gbk::kMa, "a;"), "a", "", nullopt, nullopt, gbk::kMa},
  };
  for (const BetweenCase& c : cases) {
    EXPECT_EQ(text_left_of(Text(c.text), Text(c.left), c.start, c.case_sensitive), Text(c.expected))
        << Text(c.text) << " left of " << Text(c.left);
  }
}

TEST(TextAfterLast, Cases) {
  const BetweenCase cases[] = {
      {"a.b.c", ".", "", nullopt, nullopt, "c"},
      {"a.b.", ".", "", nullopt, nullopt, ""},
      {"a.b", "", "", nullopt, nullopt, "a.b"},
      {"a.b", ",", "", nullopt, nullopt, ""},
      {"", ".", "", nullopt, nullopt, ""},
      {"aXbxc", "X", "", nullopt, nullopt, "bxc"},  // exact by default
      {"aXbxc", "X", "", nullopt, true, "c"},
      {S("a", gbk::kMa, "b"), "a", "", nullopt, nullopt, S(gbk::kMa, "b")},
  };
  for (const BetweenCase& c : cases) {
    EXPECT_EQ(text_after_last(Text(c.text), Text(c.left), c.case_sensitive), Text(c.expected))
        << Text(c.text) << " after last " << Text(c.left);
  }
}

TEST(TextCountOccurrences, Cases) {
  struct Case {
    string text;
    string search;
    std::optional<bool> case_sensitive;
    int expected;
  };
  const Case cases[] = {
      {"aaa", "aa", nullopt, 2},
      {"abc", "x", nullopt, 0},
      {"a", "A", nullopt, 1},
      {"a", "A", true, 0},
      {"abc", "", nullopt, 0},
      {"", "", nullopt, 0},
      {"www.example.com", ".", nullopt, 2},
      {S(gbk::kZhong, gbk::kZhong), gbk::kZhong, nullopt, 2},
      // Each search steps from one byte after the previous occurrence, so a
      // second byte then counts as a character start: B4 61 61.
      {S(gbk::kMa, "a"), "a", nullopt, 1},
      {S("a", gbk::kMa, "a"), "a", nullopt, 2},
      {gbk::kMa, "a", nullopt, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text_count_occurrences(Text(c.text), Text(c.search), c.case_sensitive), c.expected)
        << Text(c.text) << " / " << Text(c.search);
  }
}

class CountingPump final : public EventPump {
 public:
  void dispatch_pending() override { ++dispatched; }
  void wait_until(const std::function<bool()>&, std::chrono::steady_clock::time_point) override {}
  void notify() override {}
  int dispatched = 0;
};

TEST(TextCountOccurrences, DispatchesEventsOncePerPass) {
  CountingPump pump;
  event_pump_install(&pump);
  // Passes: the one that finds the second dot, then the one that finds nothing.
  EXPECT_EQ(text_count_occurrences(Text("a.b.c"), Text(".")), 2);
  EXPECT_EQ(pump.dispatched, 2);
  EXPECT_EQ(text_count_occurrences(Text("abc"), Text(".")), 0);
  EXPECT_EQ(pump.dispatched, 2);
  event_pump_install(nullptr);
}

TEST(TextSlicing, AgreesWithReferenceOnRandomTexts) {
  const string alphabet = "aAbB<>\xB4\xC4\xB0\xFF";
  std::mt19937 random(1211);
  auto pick = [&](int max_length) { return gbk::random_text(random, alphabet, max_length); };
  for (int round = 0; round < 10000; ++round) {
    const string text = pick(20);
    const string left = pick(2);
    const string right = pick(2);
    const int start = std::uniform_int_distribution<int>(-1, static_cast<int>(text.size()) + 2)(random);
    const bool flag = random() % 2 == 0;
    SCOPED_TRACE(::testing::Message() << Text(text) << " / " << Text(left) << " / " << Text(right)
                                      << " from " << start << " flag " << flag);
    ASSERT_EQ(text_between(Text(text), Text(left), Text(right), start, flag),
              Text(reference::between(text, left, right, start, flag)));
    ASSERT_EQ(text_left_of(Text(text), Text(left), start, flag),
              Text(reference::left_of(text, left, start, flag)));
    ASSERT_EQ(text_count_occurrences(Text(text), Text(left), flag), reference::count(text, left, flag));
    ASSERT_EQ(text_after_last(Text(text), Text(left), flag), Text(reference::after_last(text, left, flag)));
  }
}

// A 100 MiB page of markup and Chinese text with one title at its end.
TEST(TextSlicing, HundredMebibyteText) {
  const string line = S("<div class=\"c\">", gbk::kZhong, gbk::kWen) + "</div>\n";
  string page = line;
  // Whole lines only, so that the title does not begin on a second byte.
  const std::size_t kSize = ((100u << 20) / line.size() + 1) * line.size();
  while (page.size() < kSize) page.append(page, 0, std::min(page.size(), kSize - page.size()));
  page += "/><TITLE>end_Pelquor</title>";
  const Text text(std::move(page));
  EXPECT_EQ(text_between(text, Text("/><title>"), Text("_Pelquor</title>")), Text("end"));
  EXPECT_EQ(text_find(text, Text("/><TITLE>")), text.length() - 27);
  EXPECT_GE(text.length(), 100 << 20);
  EXPECT_EQ(text_count_occurrences(text, Text("_pelquor<")), 1);
  EXPECT_EQ(text_after_last(text, Text("_Pelquor")), Text("</title>"));
}

}  // namespace
}  // namespace qm
