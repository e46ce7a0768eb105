#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "web/web.h"

namespace qm {
namespace {

// Byte vectors are written by hand from known code points.
const std::string kZhongWenUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
const std::string kZhongWenGbk = "\xD6\xD0\xCE\xC4";           // 中文
const std::string kZhongWenBig5 = "\xA4\xA4\xA4\xE5";          // 中文

std::string units_of(std::u16string_view units) {
  std::string bytes;
  for (char16_t u : units) {
    bytes.push_back(static_cast<char>(u & 0xFF));
    bytes.push_back(static_cast<char>(u >> 8));
  }
  return bytes;
}

struct Case {
  const char* what;
  std::string input;
  std::string expected;
};

TEST(CodepageUtf8ToGbk, ConvertsKnownVectors) {
  const std::vector<Case> cases = {
      {"empty", "", ""},
      {"ascii unchanged", "Hello, world! 123 ?&=", "Hello, world! 123 ?&="},
      {"two bytes instead of three", kZhongWenUtf8, kZhongWenGbk},
      {"mixed", "a" + kZhongWenUtf8 + "b", "a" + kZhongWenGbk + "b"},
      {"full-width space", "\xE3\x80\x80", "\xA1\xA1"},
      {"letter GBK lacks (U+00C0)", "x\xC3\x80y", "x?y"},
      {"astral character GBK lacks", "\xF0\x9F\x98\x80" + kZhongWenUtf8, "?" + kZhongWenGbk},
      {"GBK bytes are not UTF-8", kZhongWenGbk, "????"},
      {"truncated sequence at the end", "ab\xE4\xB8", "ab?"},
      {"lone continuation byte", "a\x80z", "a?z"},
      {"NUL ends the input", std::string("ab\0cd", 5), "ab"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(codepage_utf8_to_gbk(Text(c.input)), Text(c.expected)) << c.what;
    EXPECT_EQ(gbk_from_utf8(c.input), Text(c.expected)) << c.what;
  }
}

TEST(CodepageBig5ToSimplified, ConvertsKnownVectors) {
  const std::vector<Case> cases = {
      {"empty", "", ""},
      {"ascii unchanged", "abc 123", "abc 123"},
      {"characters without a simplified form", kZhongWenBig5, kZhongWenGbk},
      {"體 becomes 体", "\xC5\xE9", "\xCC\xE5"},
      {"國 becomes 国", "\xB0\xEA", "\xB9\xFA"},
      {"臺灣 becomes 台湾", "\xBB\x4F\xC6\x57", "\xCC\xA8\xCD\xE5"},
      {"髮 becomes 发", "\xBE\x76", "\xB7\xA2"},
      {"mixed with ascii", "<b>\xC5\xE9</b>", "<b>\xCC\xE5</b>"},
      {"invalid Big5 lead byte at the end", "a\xC5", "a?"},
      {"NUL ends the input", std::string("\xC5\xE9\0\xB0\xEA", 5), "\xCC\xE5"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(codepage_big5_to_simplified(Text(c.input)), Text(c.expected)) << c.what;
  }
}

TEST(CodepageBig5ToGbk, KeepsTraditionalCharacters) {
  EXPECT_EQ(codepage_big5_to_gbk(Text("\xC5\xE9\xB0\xEA")), Text("\xF3\x77\x87\xF8"));  // 體國
  EXPECT_EQ(codepage_big5_to_gbk(Text("")), Text(""));
}

TEST(CodepageSimplify, MapsOneCharacterForOne) {
  const std::vector<Case> cases = {
      {"empty", "", ""},
      {"ascii", "plain text", "plain text"},
      {"體國 in GBK", "\xF3\x77\x87\xF8", "\xCC\xE5\xB9\xFA"},
      {"後 becomes 后", "\xE1\xE1", "\xBA\xF3"},
      {"simplified text unchanged", kZhongWenGbk + "\xCC\xE5", kZhongWenGbk + "\xCC\xE5"},
      // Bytes that are not GBK stay as they are instead of being lost.
      {"stray lead byte kept", "a\x81", "a\x81"},
  };
  for (const Case& c : cases) {
    const Text out = codepage_simplify(Text(c.input));
    EXPECT_EQ(out, Text(c.expected)) << c.what;
    EXPECT_EQ(out.length(), static_cast<int>(c.input.size())) << c.what;
  }
}

TEST(CodepageToUtf16, UnitsWithTerminatingZero) {
  struct UnitCase {
    const char* what;
    std::string input;
    std::optional<int> code_page;
    std::u16string units;  // without the zero unit
  };
  const std::vector<UnitCase> cases = {
      {"empty gives the zero unit", "", std::nullopt, u""},
      {"UTF-8 by default", kZhongWenUtf8, std::nullopt, u"\u4E2D\u6587"},
      {"GBK", kZhongWenGbk, kCodePageGbk, u"\u4E2D\u6587"},
      {"ANSI is GBK", kZhongWenGbk, kCodePageAnsi, u"\u4E2D\u6587"},
      {"Big5", "\xC5\xE9", kCodePageBig5, u"\u9AD4"},
      {"astral as a surrogate pair", "\xF0\x9F\x98\x80", kCodePageUtf8, u"\U0001F600"},
      {"invalid UTF-8 becomes U+FFFD", "a\xFF", kCodePageUtf8, u"a\uFFFD"},
      {"invalid GBK becomes U+FFFD", "a\x81 ", kCodePageGbk, u"a\uFFFD "},
      {"GBK lead byte at the end", "a\x81", kCodePageGbk, u"a\uFFFD"},
  };
  for (const UnitCase& c : cases) {
    EXPECT_EQ(codepage_to_utf16(Text(c.input), c.code_page).bytes(),
              units_of(c.units) + std::string(2, '\0'))
        << c.what;
  }
  EXPECT_TRUE(codepage_to_utf16(Text("abc"), 12345).empty()) << "unknown code page";
}

TEST(CodepageFromUtf16, StopsAtZeroUnitAndReplacesUnrepresentable) {
  struct UnitCase {
    const char* what;
    std::string units;
    std::optional<int> code_page;
    std::string expected;
  };
  const std::vector<UnitCase> cases = {
      {"empty", "", std::nullopt, ""},
      {"only the zero unit", std::string(2, '\0'), std::nullopt, ""},
      {"GBK by default", units_of(u"\u4E2D\u6587"), std::nullopt, kZhongWenGbk},
      {"cut at the first zero unit", units_of(u"ab") + std::string(2, '\0') + units_of(u"cd"),
       std::nullopt, "ab"},
      {"lone trailing byte ignored", units_of(u"ab") + "c", std::nullopt, "ab"},
      {"U+FFFD becomes ?", units_of(u"a\uFFFD"), kCodePageGbk, "a?"},
      {"unpaired surrogate becomes ?", units_of(u"a\xD800z"), kCodePageGbk, "a?z"},
      {"Big5 target", units_of(u"\u9AD4"), kCodePageBig5, "\xC5\xE9"},
      {"Big5 lacks the simplified form", units_of(u"\u4F53x"), kCodePageBig5, "\xCA\x5Ex"},
      {"UTF-8 target", units_of(u"\u4E2D"), kCodePageUtf8, "\xE4\xB8\xAD"},
      {"unknown code page", units_of(u"ab"), 12345, ""},
  };
  for (const UnitCase& c : cases) {
    EXPECT_EQ(codepage_from_utf16(ByteString(c.units), c.code_page), Text(c.expected))
        << c.what;
  }
}

TEST(Utf8FromGbk, RoundTripsAndMarksBadBytes) {
  EXPECT_EQ(utf8_from_gbk(Text(kZhongWenGbk)), kZhongWenUtf8);
  EXPECT_EQ(utf8_from_gbk(Text("")), "");
  EXPECT_EQ(utf8_from_gbk(Text("a\xA1\xA1z")), "a\xE3\x80\x80z");
  EXPECT_EQ(utf8_from_gbk(Text("a\x81")), "a\xEF\xBF\xBD");  // U+FFFD
  EXPECT_EQ(gbk_from_utf8(utf8_from_gbk(Text("\xF3\x77\x87\xF8"))), Text("\xF3\x77\x87\xF8"));
}

TEST(CodepageSimplify, ThreadsMapAtTheSameTime) {
  std::vector<std::thread> threads;
  std::vector<Text> results(4);
  for (std::size_t t = 0; t < results.size(); ++t) {
    threads.emplace_back([&results, t] {
      for (int i = 0; i < 50; ++i) results[t] = codepage_big5_to_simplified(Text("\xC5\xE9\xB0\xEA"));
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const Text& r : results) EXPECT_EQ(r, Text("\xCC\xE5\xB9\xFA"));
}

}  // namespace
}  // namespace qm
