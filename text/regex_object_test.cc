// RegexObject: default and given options, match and group texts, byte
// positions after two-byte characters, invalid patterns, indexes out of
// range, groups that took no part, match limits, and replace.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "text/testing/gbk_samples.h"
#include "text/text.h"

namespace qm {
namespace {

using std::nullopt;
using std::string;

using gbk::S;

std::vector<Text> values(const RegexObject& regex) {
  std::vector<Text> out;
  for (int i = 1; i <= regex.match_count(); ++i) out.push_back(regex.match_value(i));
  return out;
}

struct OptionCase {
  const char* name;
  string pattern;
  string text;
  std::optional<bool> case_sensitive;
  std::optional<bool> multi_line;
  std::optional<bool> global;
  std::vector<Text> expected;
};

TEST(RegexObject, Options) {
  const OptionCase cases[] = {
      {"case ignored by default", "a", "xAa", nullopt, nullopt, nullopt, {"A", "a"}},
      {"case-sensitive", "a", "xAa", true, nullopt, nullopt, {"a"}},
      {"multi-line by default", "^b$", "a\nb\nc", nullopt, nullopt, nullopt, {"b"}},
      {"single line", "^b$", "a\nb\nc", nullopt, false, nullopt, {}},
      {"global by default", "o.", "oxoyoz", nullopt, nullopt, nullopt, {"ox", "oy", "oz"}},
      {"first match only", "o.", "oxoyoz", nullopt, nullopt, false, {"ox"}},
      {"dot stops at a line feed", "a.b", "a\nb", nullopt, nullopt, nullopt, {}},
      {"dot takes a carriage return", "a.b", "a\rb", nullopt, nullopt, nullopt, {"a\rb"}},
      {"lazy group", "<(.*?)>", "<a><b>", nullopt, nullopt, nullopt, {"<a>", "<b>"}},
      {"empty matches move on", "x*", "ab", nullopt, nullopt, nullopt, {"", "", ""}},
      // Two-byte characters are single characters: no match in their middle.
      {"second byte letter", "a", gbk::kMa, nullopt, nullopt, nullopt, {}},
      {"second byte brace", "\\}", gbk::kTi, nullopt, nullopt, nullopt, {}},
      {"second byte backslash", "\\\\", gbk::kCheng, nullopt, nullopt, nullopt, {}},
      {"dot takes a whole character", "x.y", S("x", gbk::kZhong, "y"), nullopt, nullopt, nullopt,
       {Text(S("x", gbk::kZhong, "y"))}},
      {"GBK in the pattern", S(gbk::kWen, "."), S(gbk::kZhong, gbk::kWen, gbk::kMa), nullopt, nullopt,
       nullopt, {Text(S(gbk::kWen, gbk::kMa))}},
  };
  for (const OptionCase& c : cases) {
    RegexObject regex;
    EXPECT_TRUE(regex.execute(Text(c.pattern), Text(c.text), c.case_sensitive, c.multi_line, c.global))
        << c.name;
    EXPECT_EQ(values(regex), c.expected) << c.name;
  }
}

TEST(RegexObject, InvalidPatternLeavesEveryReadEmpty) {
  for (const char* pattern : {"(a", "a)", "[b", "x{2,1}", "\\", "(?<", "*"}) {
    RegexObject regex;
    EXPECT_FALSE(regex.execute(Text(pattern), Text("a(b")));
    EXPECT_EQ(regex.pattern(), Text(pattern));
    EXPECT_EQ(regex.match_count(), 0) << pattern;
    EXPECT_EQ(regex.submatch_count(), 0) << pattern;
    int position = 7;
    EXPECT_EQ(regex.match_value(1, &position), Text()) << pattern;
    EXPECT_EQ(position, -1);
    EXPECT_EQ(regex.submatch_value(1, 1), Text()) << pattern;
    EXPECT_EQ(regex.replace(Text("x")), Text()) << pattern;
  }
}

TEST(RegexObject, BeforeAnyExecute) {
  const RegexObject regex;
  EXPECT_EQ(regex.pattern(), Text());
  EXPECT_EQ(regex.match_count(), 0);
  EXPECT_EQ(regex.submatch_count(), 0);
  EXPECT_EQ(regex.match_value(1), Text());
}

TEST(RegexObject, NoMatch) {
  RegexObject regex;
  EXPECT_TRUE(regex.execute(Text("(z)"), Text("abc")));
  EXPECT_EQ(regex.match_count(), 0);
  EXPECT_EQ(regex.submatch_count(), 0);
}

TEST(RegexObject, GroupsAndIndexes) {
  RegexObject regex;
  ASSERT_TRUE(regex.execute(Text("(\\w)(\\d)?"), Text("a1 b")));
  ASSERT_EQ(values(regex), (std::vector<Text>{"a1", "b"}));
  EXPECT_EQ(regex.submatch_count(), 2);
  struct Case {
    int i;
    int j;
    const char* value;
    int position;
  };
  const Case cases[] = {
      {1, 0, "", -1},  {1, 1, "a", 0}, {1, 2, "1", 1}, {1, 3, "", -1},  // group 0 is no group
      {2, 1, "b", 3},  {2, 2, "", -1},  // optional group that took no part
      {3, 1, "", -1},  {0, 1, "", -1},  {-1, 1, "", -1},
  };
  for (const Case& c : cases) {
    int position = 99;
    EXPECT_EQ(regex.submatch_value(c.i, c.j, &position), Text(c.value)) << c.i << "," << c.j;
    EXPECT_EQ(position, c.position) << c.i << "," << c.j;
  }
}

TEST(RegexObject, PositionsAreByteOffsetsInTheSearchedText) {
  // 中中aa: the second "a" is unit 3 of the UTF-16 form but byte 5.
  RegexObject regex;
  ASSERT_TRUE(regex.execute(Text("a"), Text(S(gbk::kZhong, gbk::kZhong, "aa"))));
  ASSERT_EQ(regex.match_count(), 2);
  int first = 0;
  int second = 0;
  regex.match_value(1, &first);
  regex.match_value(2, &second);
  EXPECT_EQ(first, 4);
  EXPECT_EQ(second, 5);
  // A group's position is its own, not its match's.
  ASSERT_TRUE(regex.execute(Text(S(gbk::kWen, "(.)")), Text(S(gbk::kZhong, gbk::kWen, gbk::kMa))));
  int position = 0;
  EXPECT_EQ(regex.submatch_value(1, 1, &position), Text(gbk::kMa));
  EXPECT_EQ(position, 4);
  EXPECT_EQ(regex.match_value(1, &position), Text(S(gbk::kWen, gbk::kMa)));
  EXPECT_EQ(position, 2);
}

TEST(RegexObject, ValuesKeepBytesThatAreNotGbk) {
  RegexObject regex;
  ASSERT_TRUE(regex.execute(Text("b(.)"), Text("ab\xB0")));  // a lone lead byte at the end
  EXPECT_EQ(regex.submatch_value(1, 1), Text("\xB0"));
  ASSERT_TRUE(regex.execute(Text("x(.)y"), Text("x\x80y")));
  EXPECT_EQ(regex.submatch_value(1, 1), Text("\x80"));
}

TEST(RegexObject, SecondExecuteStartsAfresh) {
  RegexObject regex;
  ASSERT_TRUE(regex.execute(Text("(a)(b)"), Text("ab ab")));
  EXPECT_EQ(regex.match_count(), 2);
  ASSERT_FALSE(regex.execute(Text("("), Text("ab")));
  EXPECT_EQ(regex.match_count(), 0);
  ASSERT_TRUE(regex.execute(Text("c"), Text("ccc")));
  EXPECT_EQ(regex.match_count(), 3);
  EXPECT_EQ(regex.submatch_count(), 0);
  EXPECT_EQ(regex.pattern(), Text("c"));
}

TEST(RegexObject, CatastrophicBacktrackingEndsAtTheLimit) {
  const string attack = string(40, 'a') + "!";
  RegexObject regex;
  EXPECT_TRUE(regex.execute(Text("(a+)+$"), Text(attack)));
  EXPECT_EQ(regex.match_count(), 0);
  // Matches found before the limit stay; none is looked for after it.
  EXPECT_TRUE(regex.execute(Text("x|(a+)+$"), Text("x x " + attack + " x")));
  EXPECT_EQ(regex.match_count(), 2);
}

TEST(RegexObject, Replace) {
  struct Case {
    string pattern;
    string text;
    string replacement;
    std::optional<bool> global;
    string expected;
  };
  const Case cases[] = {
      {"(\\d)", "a1b2", "<$1>", nullopt, "a<1>b<2>"},
      {"(\\d)", "a1b2", "<$1>", false, "a<1>b2"},
      {"z", "a1b2", "-", nullopt, "a1b2"},
      {"(\\d)", "a1b2", "$9", nullopt, ""},  // no group 9: the replacement is invalid
      {"a", S(gbk::kZhong, "a", gbk::kWen), gbk::kMa, nullopt, S(gbk::kZhong, gbk::kMa, gbk::kWen)},
      {"a", "\xFF" "a\xB0", "b", nullopt, "\xFF" "b\xB0"},  // bytes outside matches stay as they were
  };
  for (const Case& c : cases) {
    RegexObject regex;
    ASSERT_TRUE(regex.execute(Text(c.pattern), Text(c.text), nullopt, nullopt, c.global));
    EXPECT_EQ(regex.replace(Text(c.replacement)), Text(c.expected)) << c.pattern << " on " << Text(c.text);
  }
}

}  // namespace
}  // namespace qm
