// text_all_between, regex_escape_markers and text_replace_pairs: page order
// with duplicates, the options, markers taken literally whatever they hold,
// and a saved result page.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "text/testing/gbk_samples.h"
#include "text/text.h"

namespace qm {
namespace {

using std::nullopt;
using std::string;

using gbk::S;

struct AllBetweenCase {
  const char* name;
  string text;
  string left;
  string right;
  std::optional<int> max_length;
  std::optional<Text> prefix;
  std::optional<Text> suffix;
  std::optional<bool> include_left;
  std::optional<bool> include_right;
  TextList expected;
};

TEST(TextAllBetween, Cases) {
  const AllBetweenCase cases[] = {
      {"neither marker", "plain text", "[", "]", nullopt, nullopt, nullopt, nullopt, nullopt, {}},
      {"duplicates stay", "[a] [b] [a]", "[", "]", nullopt, nullopt, nullopt, nullopt, nullopt, {"a", "b", "a"}},
      {"case ignored", "<A>x</A><a>y</a>", "<a>", "</a>", nullopt, nullopt, nullopt, nullopt, nullopt,
       {"x", "y"}},
      {"shortest, no overlap", "<a>1</a>2</a><a>3</a>", "<a>", "</a>", nullopt, nullopt, nullopt, nullopt,
       nullopt, {"1", "3"}},
      {"first left marker wins", "[x[y]", "[", "]", nullopt, nullopt, nullopt, nullopt, nullopt, {"x[y"}},
      {"not across a line feed", "[a\nb] [c]", "[", "]", nullopt, nullopt, nullopt, nullopt, nullopt, {"c"}},
      {"empty between", "[]", "[", "]", nullopt, nullopt, nullopt, nullopt, nullopt, {""}},
      // Every pattern character in a marker is literal.
      {"dot is literal", "q/1xhtml\"\nq/2.html\"", "q/", ".html\"", nullopt, nullopt, nullopt, nullopt,
       nullopt, {"2"}},
      {"trailing backslash is literal", "xa\\1;", "a\\", ";", nullopt, nullopt, nullopt, nullopt, nullopt,
       {"1"}},
      {"metacharacters", "x(?ab*)y ^$|.q;", "(?", "*)", nullopt, nullopt, nullopt, nullopt, nullopt, {"ab"}},
      {"anchors and bar", "z^$|.q;", "^$|.", ";", nullopt, nullopt, nullopt, nullopt, nullopt, {"q"}},
      {"braces and brackets", "{[x]}", "{[", "]}", nullopt, nullopt, nullopt, nullopt, nullopt, {"x"}},
      // Two-byte characters whose second bytes are pattern characters.
      {"second bytes", S(gbk::kTi, "v", gbk::kCheng), gbk::kTi, gbk::kCheng, nullopt, nullopt, nullopt,
       nullopt, nullopt, {"v"}},
      {"second bytes in the text", S("[", gbk::kYi, gbk::kHu, "]"), "[", "]", nullopt, nullopt, nullopt,
       nullopt, nullopt, {Text(S(gbk::kYi, gbk::kHu))}},
      {"second byte is no marker", S(gbk::kYin, "x]"), "x", "]", nullopt, nullopt, nullopt, nullopt, nullopt,
       {""}},
      // Options.
      {"length limit", "[12345][123456]", "[", "]", 5, nullopt, nullopt, nullopt, nullopt, {"12345"}},
      {"negative limit drops all", "[1][2]", "[", "]", -1, nullopt, nullopt, nullopt, nullopt, {}},
      {"prefix and suffix", "[1][2]", "[", "]", nullopt, Text("<"), Text(">"), nullopt, nullopt,
       {"<1>", "<2>"}},
      {"both markers without a limit", "[1]", "[", "]", nullopt, Text("<"), Text(">"), true, true,
       {"[<1>]"}},
      {"left wins with a limit", "[1]", "[", "]", 9, Text("<"), Text(">"), true, true, {"[<1>"}},
      {"right alone with a limit", "[1]", "[", "]", 9, nullopt, nullopt, false, true, {"1]"}},
      {"limit counts the group only", "[12]", "[", "]", 2, Text("<<<"), nullopt, true, nullopt, {"[<<<12"}},
      {"caller's markers added", "A.1;", "a.", ";", nullopt, nullopt, nullopt, true, true, {"a.1;"}},
  };
  for (const AllBetweenCase& c : cases) {
    TextList list = {"stale", "items"};
    const int n = text_all_between(Text(c.text), Text(c.left), Text(c.right), &list, c.max_length,
                                   c.prefix, c.suffix, c.include_left, c.include_right);
    EXPECT_EQ(list, c.expected) << c.name;
    EXPECT_EQ(n, static_cast<int>(list.size())) << c.name;
  }
}

// Plain GBK with ASCII markers takes a quicker road than the pattern; both
// give the same items, on texts with and without bytes that are not GBK.
TEST(TextAllBetween, AgreesWithItsPatternRunByRegexObject) {
  const string pieces[] = {"<a>", "</a>", "<A>", "x", "\n", gbk::kZhong, gbk::kMa, gbk::kTi,
                           gbk::kNao, "a", "\xB0", "\x80"};
  const string markers[][2] = {{"<a>", "</a>"}, {"a", "a"}, {"<", ""}, {"x", "\n"}, {"a>x", "<"}};
  std::mt19937 random(33);
  for (int round = 0; round < 2000; ++round) {
    string text;
    const int count = std::uniform_int_distribution<int>(0, 30)(random);
    const std::size_t kinds = round % 2 == 0 ? 10 : 12;  // half the texts are plain GBK
    for (int k = 0; k < count; ++k) text += pieces[random() % kinds];
    const string* m = markers[random() % 5];
    TextList items;
    text_all_between(Text(text), Text(m[0]), Text(m[1]), &items);
    RegexObject regex;
    regex.execute(regex_escape_markers(Text(m[0])) + Text("(.*?)") + regex_escape_markers(Text(m[1])), Text(text));
    TextList expected;
    for (int i = 1; i <= regex.match_count(); ++i) expected.push_back(regex.submatch_value(i, 1));
    ASSERT_EQ(items, expected) << Text(text) << " between " << Text(m[0]) << " and " << Text(m[1]);
  }
}

TEST(TextAllBetween, WithoutAListReturnsZero) {
  EXPECT_EQ(text_all_between(Text("[a]"), Text("["), Text("]"), nullptr), 0);
}

string read_fixture(const string& name) {
  const char* root = std::getenv("QM_SOURCE_DIR");
  std::ifstream in(string(root ? root : ".") + "/text/testdata/" + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST(TextAllBetween, SavedResultPageGivesItsQuestionIdentifiers) {
  const string page = read_fixture("result_page.gbk.html");
  ASSERT_FALSE(page.empty()) << "fixture missing";
  TextList ids;
  const int n = text_all_between(Text(page), Text("<a href=\"http://wenda.pelquor.com/question/"),
                                 Text(".html\""), &ids);
  // In page order, the repeated link twice; the link broken by a line feed
  // gives nothing; the upper-case anchor is found.
  EXPECT_EQ(ids, (TextList{"1876543", "2233445", "1876543", "5566778"}));
  EXPECT_EQ(n, 4);
  // The page is GBK: "下一页" (CF C2 D2 BB D2 B3) is there as bytes.
  EXPECT_NE(text_find(Text(page), Text("\xCF\xC2\xD2\xBB\xD2\xB3")), -1);
}

TEST(RegexEscapeMarkers, Cases) {
  struct Case {
    string marker;
    string expected;
  };
  const Case cases[] = {
      {"", ""},
      {"abc", "abc"},
      {"}", "\\}"},
      {"a.b", "a\\.b"},
      {"\\", "\\\\"},
      {"a\\(", "a\\\\\\("},  // the backslash first, so nothing is escaped twice
      {"^$|?*+()[]{}", "\\^\\$\\|\\?\\*\\+\\(\\)\\[\\]\\{\\}"},
      {"<a href=\"x\">", "<a href=\"x\">"},
      // Second bytes are never escaped.
      {gbk::kTi, gbk::kTi},
      {S(gbk::kCheng, gbk::kYi, gbk::kYi4), S(gbk::kCheng, gbk::kYi, gbk::kYi4)},
      {S(gbk::kHu, "[", gbk::kYin), S(gbk::kHu, "\\[", gbk::kYin)},
      // A high byte that begins no character stands alone.
      {"\xB0", "\xB0(?:)"},
      {"\xB0*", "\xB0(?:)\\*"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(regex_escape_markers(Text(c.marker)), Text(c.expected)) << Text(c.marker);
  }
}

TEST(RegexEscapeMarkers, EscapedMarkersMatchThemselves) {
  for (const string& marker : {string("a.b*c"), string("(\\)"), S(gbk::kCheng, "+", gbk::kTi), string("\xB0*"),
                              string("x\x80[")}) {
    RegexObject regex;
    ASSERT_TRUE(regex.execute(regex_escape_markers(Text(marker)), Text("--" + marker + "--")))
        << Text(marker);
    EXPECT_EQ(regex.match_value(1), Text(marker)) << Text(marker);
  }
}

TEST(TextReplacePairs, Cases) {
  struct Case {
    string text;
    std::vector<ReplacePair> pairs;
    std::optional<int> count;
    std::optional<int> start;
    std::optional<bool> case_sensitive;
    string expected;
  };
  const Case cases[] = {
      {"a", {{"a", "b"}, {"b", "c"}}, nullopt, nullopt, nullopt, "c"},  // later pairs see earlier results
      {"a", {{"a", "b"}, {"b", "c"}}, 0, nullopt, nullopt, "a"},
      {"aabb", {{"a", "x"}, {"b", "y"}}, 1, nullopt, nullopt, "xayb"},  // the count applies per pass
      {"aa", {{"a", "b"}}, nullopt, 2, nullopt, "ab"},
      {"A", {{"a", "b"}}, nullopt, nullopt, nullopt, "b"},
      {"A", {{"a", "b"}}, nullopt, nullopt, true, "A"},
      {"a-b", {{"-", ""}}, nullopt, nullopt, nullopt, "ab"},
      {"ab", {{"", "x"}, {"b", "c"}}, nullopt, nullopt, nullopt, "ac"},
      {"1", {{"1", "2"}, {"2", "3"}, {"3", "4"}, {"4", "5"}, {"5", "6"}, {"6", "7"}}, nullopt, nullopt,
       nullopt, "6"},  // five pairs at most
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text_replace_pairs(Text(c.text), c.pairs, c.count, c.start, c.case_sensitive), Text(c.expected))
        << Text(c.text);
  }
}

}  // namespace
}  // namespace qm
