// The fake site's corpus files: the format and the bundled demo corpus.
#include "fakesite/fake_site.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "web/web.h"

namespace qm {
namespace {

TEST(FakeCorpusTest, ParsesKeywordTitleBodyLines) {
  const auto corpus = fake_corpus_parse(
      "# a comment line\n"
      "电脑\t开机黑屏\t风扇在转。\r\n"
      "\n"
      "手机\t只有标题\n"
      "手机\t\t没有标题的一行被跳过\n"
      "只有一列\n"
      "Python\t标题\t正文\t里的制表符留在正文里\n",
      7);
  ASSERT_EQ(corpus.size(), 3u);
  const std::vector<FakeQuestion> expected = {
      {"电脑", "7", "开机黑屏", "风扇在转。"},
      {"手机", "8", "只有标题", ""},
      {"Python", "9", "标题", "正文\t里的制表符留在正文里"},
  };
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(corpus[i].keyword, expected[i].keyword);
    EXPECT_EQ(corpus[i].id, expected[i].id);
    EXPECT_EQ(corpus[i].title, expected[i].title);
    EXPECT_EQ(corpus[i].body, expected[i].body);
  }
  EXPECT_FALSE(fake_corpus_load("/nonexistent/corpus.tsv"));
}

// The demo shows several keywords over several result pages, and every
// text reaches the window as typed: GBK must hold each character.
TEST(FakeCorpusTest, DemoCorpusIsLargeAndFitsGbk) {
  const char* root = std::getenv("QM_SOURCE_DIR");
  ASSERT_NE(root, nullptr);
  const auto corpus = fake_corpus_load(std::string(root) + "/demo/corpus.tsv");
  ASSERT_TRUE(corpus);
  EXPECT_GE(corpus->size(), 200u);
  std::map<std::string, int> per_keyword;
  for (const FakeQuestion& q : *corpus) {
    ++per_keyword[q.keyword];
    for (const std::string* text : {&q.keyword, &q.title, &q.body}) {
      EXPECT_EQ(utf8_from_gbk(gbk_from_utf8(*text)), *text) << q.id;
    }
  }
  EXPECT_GE(per_keyword.size(), 6u);
  for (const auto& [keyword, count] : per_keyword) EXPECT_GT(count, 20) << keyword;
}

}  // namespace
}  // namespace qm
