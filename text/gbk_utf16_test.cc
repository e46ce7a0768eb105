// The GBK to UTF-16 conversion under the regular-expression object gives
// exactly what ICU's own whole-text conversion gives, units and offsets,
// whatever the bytes.
#include <unicode/localpointer.h>
#include <unicode/ucnv.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "text/gbk_utf16.h"
#include "text/testing/gbk_samples.h"
#include "text/text.h"

namespace qm::text_internal {
namespace {

struct Expected {
  std::u16string units;
  std::vector<std::int32_t> offsets;
};

Expected icu_whole(const std::string& gbk) {
  UErrorCode status = U_ZERO_ERROR;
  icu::LocalUConverterPointer converter(ucnv_open("windows-936-2000", &status));
  Expected e;
  e.units.resize(gbk.size() + 1);
  e.offsets.resize(gbk.size() + 1);
  const char* src = gbk.data();
  char16_t* target = e.units.data();
  ucnv_toUnicode(converter.getAlias(), &target, e.units.data() + e.units.size(), &src,
                 gbk.data() + gbk.size(), e.offsets.data(), true, &status);
  EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  e.units.resize(static_cast<std::size_t>(target - e.units.data()));
  e.offsets.resize(e.units.size());
  return e;
}

void expect_same_as_icu(const std::string& gbk) {
  const Expected e = icu_whole(gbk);
  const Utf16Text t = gbk_to_utf16(gbk);
  ASSERT_EQ(std::u16string(t.units()), e.units) << Text(gbk);
  for (std::size_t u = 0; u < e.units.size(); ++u) {
    ASSERT_EQ(t.byte_offset(u), e.offsets[u]) << Text(gbk) << " unit " << u;
  }
  EXPECT_EQ(t.byte_offset(e.units.size()), static_cast<std::int32_t>(gbk.size()));
}

TEST(GbkToUtf16, MatchesIcuOnChosenTexts) {
  const std::string cases[] = {
      "",
      "plain ASCII text that is longer than sixteen bytes\n",
      std::string(gbk::kZhong) + gbk::kWen + "ab" + gbk::kMa + gbk::kTi + gbk::kCheng,
      "ab\xB0",                      // lone lead byte at the end
      "\xB0\x20x\x81\x7F" "y",       // lead bytes before bytes that cannot follow them
      "\x80" "a\xFF" "b\x80\x80",    // bytes ICU reads alone
      std::string(40, '\xB0') + "\xA1",
      "a\x81\x30\x81\x30z",
  };
  for (const std::string& c : cases) expect_same_as_icu(c);
}

TEST(GbkToUtf16, MatchesIcuOnRandomBytes) {
  std::mt19937 random(936);
  for (int round = 0; round < 3000; ++round) {
    std::string s(std::uniform_int_distribution<int>(0, 60)(random), 'a');
    const bool mostly_ascii = round % 2 == 0;
    for (char& c : s) {
      const unsigned v = random() % 256;
      c = static_cast<char>(mostly_ascii && v < 160 ? 0x20 + v % 0x60 : v);
    }
    expect_same_as_icu(s);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(GbkPairs, AreTheTwoByteCharactersIcuReads) {
  for (const char* c : {gbk::kZhong, gbk::kMa, gbk::kTi, gbk::kCheng, gbk::kYi, gbk::kIdeographicSpace}) {
    EXPECT_TRUE(is_gbk_pair(c[0], c[1])) << Text(c);
  }
  for (const char* c : {"\x81\x7F", "\xB0\x20", "\x80\x41", "\xFF\xA1", "ab"}) {
    EXPECT_FALSE(is_gbk_pair(c[0], c[1])) << Text(c);
  }
}

// Plain GBK: every character by stepping is below 0x80 or a pair ICU reads
// as one character.
bool plain_by_stepping(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
    } else if (i + 1 < s.size() && is_gbk_pair(s[i], s[i + 1])) {
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

TEST(PlainGbk, AgreesWithSteppingOnMostlyValidTexts) {
  const std::string pieces[] = {"a", "<p>", "0123456789abcdef", gbk::kZhong, gbk::kMa, gbk::kTi,
                                gbk::kCheng, "\xA1\x80", "\xFE\xFE", "\x80", "\xFF", "\xB0",
                                "\x7F", "\n", "\x81\x40"};
  std::mt19937 random(80);
  for (int round = 0; round < 20000; ++round) {
    std::string s;
    const int count = std::uniform_int_distribution<int>(0, 40)(random);
    for (int k = 0; k < count; ++k) {
      // Mostly whole characters; now and then a byte that may break them.
      const std::size_t pick = random() % 16 == 0 ? 9 + random() % 6 : random() % 9;
      s += pieces[pick];
    }
    ASSERT_EQ(is_plain_gbk(s), plain_by_stepping(s)) << Text(s);
  }
}

TEST(PlainGbk, NoCharacterFoldsToAnAsciiLetter) {
  // Caseless matching of ASCII markers relies on it (U+212A KELVIN SIGN
  // folds to 'k', U+017F LONG S to 's').
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    std::string all;
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail != 0x7F) all += {static_cast<char>(lead), static_cast<char>(trail)};
    }
    const Utf16Text t = gbk_to_utf16(all);
    for (char16_t u : t.units()) {
      ASSERT_TRUE(u != u'\u212A' && u != u'\u017F') << lead;
    }
  }
}

TEST(Utf16ToGbk, RoundTripsAndMarksWhatGbkLacks) {
  const std::string gbk = std::string("a") + gbk::kZhong + gbk::kTi;
  EXPECT_EQ(utf16_to_gbk(gbk_to_utf16(gbk).units()), gbk);
  EXPECT_EQ(utf16_to_gbk(u"x\U0001F600y"), "x?y");
}

}  // namespace
}  // namespace qm::text_internal
