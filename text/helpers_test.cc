// Text and ByteString values and the shared helpers: trimming, lower-casing,
// numbers in text.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

#include "text/testing/gbk_samples.h"
#include "text/text.h"

namespace qm {
namespace {

using gbk::S;
using std::string;

TEST(TextValue, EndsAtTheFirstNul) {
  EXPECT_EQ(Text(string("ab\0cd", 5)), Text("ab"));
  EXPECT_EQ(Text(std::string_view("ab\0cd", 5)).length(), 2);
  const ByteString page(string("<p>\0</p>", 8));
  EXPECT_EQ(page.size(), 8u);
  EXPECT_EQ(page.as_text(), Text("<p>"));
  EXPECT_EQ(text_find(page.as_text(), Text("</p>")), -1);
  EXPECT_EQ(Text(static_cast<const char*>(nullptr)), Text());
}

TEST(TextValue, PrintsBytesReadably) {
  std::ostringstream out;
  out << Text(S("a\"", gbk::kZhong));
  EXPECT_EQ(out.str(), "\"a\\x22\\xD6\\xD0\"");
}

TEST(TextTrim, Cases) {
  struct Case {
    string text;
    string expected;
  };
  const Case cases[] = {
      {"  a b  ", "a b"},
      {"", ""},
      {"   ", ""},
      {"\ta\n", "\ta\n"},  // tabs and line breaks are not blanks
      {S(gbk::kIdeographicSpace, " x", gbk::kIdeographicSpace), "x"},
      {S(gbk::kZhong, gbk::kIdeographicSpace), gbk::kZhong},
      // A1 A1 that straddles two characters is no full-width space.
      {"\xB0\xA1\xA1", "\xB0\xA1\xA1"},
      {"x \xB0", "x \xB0"},
  };
  for (const Case& c : cases) EXPECT_EQ(text_trim(Text(c.text)), Text(c.expected)) << Text(c.text);
}

TEST(TextToLower, FoldsAsciiLettersOfOneByteCharactersOnly) {
  EXPECT_EQ(text_to_lower(Text("AbC-Z@[")), Text("abc-z@["));
  EXPECT_EQ(text_to_lower(Text(S("X", gbk::kNao, "Y"))), Text(S("x", gbk::kNao, "y")));
}

TEST(TextToInt, Cases) {
  struct Case {
    const char* text;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"42", 42},      {"  17abc", 17}, {"abc", 0},     {"", 0},
      {"-8", -8},      {"+5", 5},       {"\t3", 0},     {"007", 7},
      {"99999999999", std::numeric_limits<std::int32_t>::max()},
      {"-99999999999", std::numeric_limits<std::int32_t>::min()},
  };
  for (const Case& c : cases) EXPECT_EQ(text_to_int(Text(c.text)), c.expected) << c.text;
}

TEST(TextFromInt, Cases) {
  EXPECT_EQ(text_from_int(0), Text("0"));
  EXPECT_EQ(text_from_int(120), Text("120"));
  EXPECT_EQ(text_from_int(-3), Text("-3"));
}

}  // namespace
}  // namespace qm
