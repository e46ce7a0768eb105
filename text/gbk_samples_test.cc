// The GBK constants that the text tests use are the characters they name.
#include <unicode/localpointer.h>
#include <unicode/ucnv.h>

#include <gtest/gtest.h>

#include <string>

#include "text/testing/gbk_samples.h"

namespace qm {
namespace {

std::u16string to_utf16(const std::string& gbk) {
  UErrorCode status = U_ZERO_ERROR;
  icu::LocalUConverterPointer converter(ucnv_open("windows-936-2000", &status));
  EXPECT_TRUE(U_SUCCESS(status));
  std::u16string out(gbk.size() + 1, u'\0');
  const int32_t n = ucnv_toUChars(converter.getAlias(), out.data(), static_cast<int32_t>(out.size()),
                                  gbk.data(), static_cast<int32_t>(gbk.size()), &status);
  EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

TEST(GbkSamples, AreTheCharactersTheyName) {
  struct Case {
    const char* gbk;
    std::u16string utf16;
  };
  const Case cases[] = {
      {gbk::kZhong, u"中"}, {gbk::kWen, u"文"},  {gbk::kTi, u"題"},  {gbk::kZhe, u"這"},
      {gbk::kMa, u"碼"},    {gbk::kNao, u"腦"},  {gbk::kCheng, u"乗"}, {gbk::kYi, u"億"},
      {gbk::kHu, u"乕"},    {gbk::kYin, u"乚"},  {gbk::kYi4, u"亄"}, {gbk::kQuoteWord, u"#引号"},
      {gbk::kIdeographicSpace, u"\u3000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(to_utf16(c.gbk), c.utf16) << "bytes of " << std::string(c.gbk).size();
  }
}

}  // namespace
}  // namespace qm
