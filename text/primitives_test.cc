// text_find, text_find_last, text_left, text_right and text_replace: the
// stepping over two-byte characters, ASCII-only folding on every byte, the
// edge rules, and agreement with the plain reference on random and long texts.
#include <gtest/gtest.h>

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

struct FindCase {
  string text;
  string search;
  std::optional<int> start;
  std::optional<bool> ignore_case;
  int expected;
};

TEST(TextFind, Cases) {
  const FindCase cases[] = {
      {"abc", "b", nullopt, nullopt, 2},
      {"abc", "c", 3, nullopt, 3},
      {"abc", "bcd", nullopt, nullopt, -1},  // must fit before the end
      {"abcabc", "abc", 2, nullopt, 4},
      // Start positions of 1 or less mean 1; one past the last byte finds nothing.
      {"abc", "a", 0, nullopt, 1},
      {"abc", "a", -7, nullopt, 1},
      {"abc", "c", 4, nullopt, -1},
      {"", "a", nullopt, nullopt, -1},
      // An empty search text is found at 1 while a byte lies at or after the start.
      {"abc", "", nullopt, nullopt, 1},
      {"abc", "", 3, nullopt, 1},
      {"abc", "", 4, nullopt, -1},
      {"", "", nullopt, nullopt, -1},
      // Exact by default; ignoring case folds A-Z only.
      {"ABC", "b", nullopt, nullopt, -1},
      {"ABC", "b", nullopt, true, 2},
      {"ABC", "b", nullopt, false, -1},
      {"a[b", "{", nullopt, true, -1},  // '[' is not '{' folded
      // A second byte that is an ASCII letter is not a match start...
      {S(gbk::kMa, "a"), "a", nullopt, nullopt, 3},
      {S(gbk::kMa, "A"), "a", nullopt, true, 3},
      {gbk::kMa, "a", nullopt, nullopt, -1},
      // ...unless the search starts on it: that byte begins a character.
      {S(gbk::kMa, "a"), "a", 2, nullopt, 2},
      {S(gbk::kZhong, gbk::kWen), "\xD0\xCE", nullopt, nullopt, -1},
      {S(gbk::kZhong, gbk::kWen), "\xD0\xCE", 2, nullopt, 2},
      // Folding reaches second bytes: 腦 is C4 58 ('X').
      {gbk::kNao, "\xC4x", nullopt, true, 1},
      {gbk::kNao, "\xC4x", nullopt, nullopt, -1},
      {S("x", gbk::kNao), "X", nullopt, true, 1},
      {S(gbk::kNao, "x"), "X", nullopt, true, 3},
      // Second bytes that are pattern characters.
      {S(gbk::kTi, "}"), "}", nullopt, nullopt, 3},
      {S(gbk::kZhe, "@"), "@", nullopt, nullopt, 3},
      {S(gbk::kCheng, gbk::kYi), "\\", nullopt, nullopt, -1},
      {S(gbk::kCheng, gbk::kYi), gbk::kYi, nullopt, nullopt, 3},
      // A run of high bytes: character starts follow from the run's parity.
      {"\xB0\xB0\xB0\xB0\xB0\xB0\xB0x", "\xB0x", nullopt, nullopt, 7},
      {"\xB0\xB0\xB0\xB0\xB0\xB0x", "\xB0x", nullopt, nullopt, -1},
      {"\xB0\xB0\xB0\xB0\xB0\xB0x", "\xB0x", 2, nullopt, 6},
      {"\xB0\xB0\xB0\xB0", "\xB0\xB0", 2, nullopt, 2},
      // A lone lead byte at the end.
      {"ab\xB0", "\xB0", nullopt, nullopt, 3},
      {"ab\xB0", "\xB0x", nullopt, nullopt, -1},
      {"\xB0", "\xB0", nullopt, true, 1},
  };
  for (const FindCase& c : cases) {
    EXPECT_EQ(text_find(Text(c.text), Text(c.search), c.start, c.ignore_case), c.expected)
        << Text(c.text) << " / " << Text(c.search) << " from " << c.start.value_or(1) << " ic "
        << c.ignore_case.value_or(false);
  }
}

TEST(TextFindLast, Cases) {
  const FindCase cases[] = {
      {"a.b.c", ".", nullopt, nullopt, 4},
      {"abc", "x", nullopt, nullopt, -1},
      {"abc", "", nullopt, nullopt, 1},
      {"", "", nullopt, nullopt, -1},
      {"aaa", "aa", nullopt, nullopt, 2},
      {"aXbx", "X", nullopt, nullopt, 2},
      {"aXbx", "X", nullopt, true, 4},
      {S(gbk::kMa, "a"), "a", nullopt, nullopt, 3},
      {S("a", gbk::kMa), "a", nullopt, nullopt, 1},
      {S(gbk::kNao, gbk::kNao), "\xC4x", nullopt, true, 3},
  };
  for (const FindCase& c : cases) {
    EXPECT_EQ(text_find_last(Text(c.text), Text(c.search), c.ignore_case), c.expected)
        << Text(c.text) << " / " << Text(c.search);
  }
}

TEST(TextLeftRight, Cases) {
  struct Case {
    int n;
    const char* left;
    const char* right;
  };
  const Case cases[] = {{-1, "", ""}, {0, "", ""}, {1, "a", "c"}, {2, "ab", "bc"},
                        {3, "abc", "abc"}, {9, "abc", "abc"}};
  for (const Case& c : cases) {
    EXPECT_EQ(text_left(Text("abc"), c.n), Text(c.left)) << c.n;
    EXPECT_EQ(text_right(Text("abc"), c.n), Text(c.right)) << c.n;
  }
  // Bytes, not characters: half a character may be cut.
  EXPECT_EQ(text_left(Text(gbk::kZhong), 1), Text("\xD6"));
}

struct ReplaceCase {
  string text;
  string search;
  std::optional<Text> replacement;
  std::optional<int> start;
  std::optional<int> count;
  std::optional<bool> case_sensitive;
  string expected;
};

TEST(TextReplace, Cases) {
  const ReplaceCase cases[] = {
      {"aXbx", "x", Text("y"), nullopt, nullopt, nullopt, "ayby"},  // case ignored by default
      {"aXbx", "x", Text("y"), nullopt, nullopt, true, "aXby"},
      {"aXbx", "x", Text("y"), nullopt, 1, nullopt, "aybx"},
      {"aXbx", "x", Text("y"), nullopt, -3, nullopt, "ayby"},
      {"aXbx", "x", Text("y"), 3, nullopt, nullopt, "aXby"},
      {"aXbx", "x", Text("y"), 0, nullopt, nullopt, "ayby"},
      {"a.b.c", ".", nullopt, nullopt, nullopt, nullopt, "abc"},  // omitted replacement deletes
      // Unchanged: count 0, empty search text, start past the end, empty text.
      {"aXbx", "x", Text("y"), nullopt, 0, nullopt, "aXbx"},
      {"aXbx", "", Text("y"), nullopt, nullopt, nullopt, "aXbx"},
      {"aXbx", "x", Text("y"), 5, nullopt, nullopt, "aXbx"},
      {"", "x", Text("y"), nullopt, nullopt, nullopt, ""},
      // Replaced text is never searched again.
      {"aaa", "a", Text("aa"), nullopt, nullopt, nullopt, "aaaaaa"},
      {"aaaa", "aa", Text("a"), nullopt, nullopt, nullopt, "aa"},
      // Two-byte characters are stepped over, second bytes too.
      {S(gbk::kMa, "a"), "a", Text("b"), nullopt, nullopt, nullopt, S(gbk::kMa, "b")},
      {S(gbk::kMa, "a"), "A", Text("b"), nullopt, nullopt, nullopt, S(gbk::kMa, "b")},
      {S(gbk::kMa, "a"), "a", Text("b"), 2, nullopt, nullopt, "\xB4" "bb"},
      {S(gbk::kNao, "X"), "\xC4x", Text("!"), nullopt, nullopt, nullopt, "!X"},
      {S(gbk::kNao, "X"), "\xC4x", Text("!"), nullopt, nullopt, true, S(gbk::kNao, "X")},
      {"ab\xB0", "b", Text("c"), nullopt, nullopt, nullopt, "ac\xB0"},
      {"ab\xB0", "\xB0", Text("c"), nullopt, nullopt, nullopt, "abc"},
  };
  for (const ReplaceCase& c : cases) {
    EXPECT_EQ(text_replace(Text(c.text), Text(c.search), c.replacement, c.start, c.count,
                           c.case_sensitive),
              Text(c.expected))
        << Text(c.text) << " / " << Text(c.search) << " from " << c.start.value_or(1) << " count "
        << c.count.value_or(-1);
  }
}

// Random short texts over an alphabet of letters in both cases and high
// bytes: every primitive agrees with the reference.
TEST(TextPrimitives, AgreeWithReferenceOnRandomTexts) {
  const string alphabet = "aAbBxX\xB4\xC4\xB0\x80\xFF\x61";
  std::mt19937 random(20261211);
  auto pick = [&](int max_length) { return gbk::random_text(random, alphabet, max_length); };
  for (int round = 0; round < 20000; ++round) {
    const string text = pick(24);
    const string search = pick(3);
    const int length = static_cast<int>(text.size());
    const int start = std::uniform_int_distribution<int>(-1, length + 2)(random);
    const int count = std::uniform_int_distribution<int>(-1, 3)(random);
    const bool flag = random() % 2 == 0;
    SCOPED_TRACE(::testing::Message() << Text(text) << " / " << Text(search) << " from " << start
                                      << " count " << count << " flag " << flag);
    ASSERT_EQ(text_find(Text(text), Text(search), start, flag), reference::find(text, search, start, flag));
    ASSERT_EQ(text_find_last(Text(text), Text(search), flag), reference::find_last(text, search, flag));
    ASSERT_EQ(text_replace(Text(text), Text(search), Text("#"), start, count, flag),
              Text(reference::replace(text, search, "#", start, count, flag)));
  }
}

// Long texts: matches far from the start and needles longer than the
// windows that case-insensitive searches fold at a time.
TEST(TextPrimitives, AgreeWithReferenceOnLongTexts) {
  std::mt19937 random(7);
  string filler(70000, 'b');
  for (char& c : filler) c = "bcB\xB0\xC4 "[random() % 6];
  struct Case {
    std::size_t at;
    std::size_t needle_length;
  };
  const Case cases[] = {{17, 3}, {16383, 5}, {16384, 2}, {40001, 9}, {69990, 10}, {123, 20000},
                        {30000, 40000}};
  for (const Case& c : cases) {
    string text = filler;
    string needle = text.substr(c.at, c.needle_length);
    needle[0] = 'X';  // a letter that the filler lacks
    text[c.at] = 'x';
    for (bool ignore_case : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "at " << c.at << " length " << c.needle_length << " ic "
                                        << ignore_case);
      EXPECT_EQ(text_find(Text(text), Text(needle), nullopt, ignore_case),
                reference::find(text, needle, 1, ignore_case));
      EXPECT_EQ(text_find_last(Text(text), Text(needle), ignore_case),
                reference::find_last(text, needle, ignore_case));
    }
  }
}

}  // namespace
}  // namespace qm
