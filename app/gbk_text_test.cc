#include "app/gbk_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qm {
namespace {

struct Crossing {
  const char* what;
  QString widget;      // what a widget holds
  std::string gbk;     // what the system sees
  QString back;        // what a widget shows again
};

TEST(GbkText, WidgetTextsCrossAsGbk) {
  const std::vector<Crossing> cases = {
      {"empty", QString(), "", QString()},
      {"ascii", QStringLiteral("abc 123 &#%"), "abc 123 &#%", QStringLiteral("abc 123 &#%")},
      // The second bytes of 題 (EE 7D) and 碼 (B4 61) are ASCII.
      {"second byte ascii", QStringLiteral("題碼}a"), "\xEE\x7D\xB4\x61}a", QStringLiteral("題碼}a")},
      {"simplified", QStringLiteral("采集问题"), "\xB2\xC9\xBC\xAF\xCE\xCA\xCC\xE2",
       QStringLiteral("采集问题")},
      {"full-width space and line breaks", QStringLiteral("\u3000x\r\ny\n"), "\xA1\xA1x\r\ny\n",
       QStringLiteral("\u3000x\r\ny\n")},
      // One character outside GBK (a surrogate pair in the widget) is one "?".
      {"outside gbk", QStringLiteral("a\U0001F600b"), "a?b", QStringLiteral("a?b")},
      {"lone surrogate", QString(QChar(0xD800)) + QStringLiteral("z"), "?z", QStringLiteral("?z")},
      {"nul ends the text", QStringLiteral("ab") + QChar(0) + QStringLiteral("cd"), "ab",
       QStringLiteral("ab")},
  };
  for (const Crossing& c : cases) {
    const Text gbk = text_from_qstring(c.widget);
    EXPECT_EQ(gbk, Text(c.gbk)) << c.what;
    EXPECT_EQ(qstring_from_text(gbk), c.back) << c.what;
  }
}

TEST(GbkText, ACutCharacterShowsAsAReplacementCharacter) {
  // A title cut after the first byte of a two-byte character.
  EXPECT_EQ(qstring_from_text(Text("\xCE\xCA\xCC")), QStringLiteral("问\uFFFD"));
}

}  // namespace
}  // namespace qm
