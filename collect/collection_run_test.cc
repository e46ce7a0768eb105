// Collection runs through a recording window against the fake site.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "collect/run_test_support.h"

namespace qm {
namespace {

using testing::G;
using testing::listed;
using testing::questions;
using testing::RecordingWindow;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class CollectionRunTest : public testing::SiteTest {};

// Which result pages are walked and which questions are listed.
TEST_F(CollectionRunTest, WalksResultPagesAndListsTheirQuestionsInOrder) {
  struct Case {
    const char* name;
    int questions;
    FakeBehaviour behaviour;
    RunLimits limits;
    int listed;                // the first `listed` questions, in order
    std::vector<int> offsets;  // pn of every result-page request
  };
  FakeBehaviour cut_after_two;
  cut_after_two.no_next_from_page = 1;
  FakeBehaviour empty_results;
  empty_results.results_empty = true;
  FakeBehaviour error_results;
  error_results.results_error = true;
  FakeBehaviour slow_results;
  slow_results.result_delay = std::chrono::milliseconds(1500);
  RunLimits two_pages;
  two_pages.max_pages = 2;
  RunLimits short_result_wait;
  // Well below the delay, with room for the request to arrive in slow builds.
  short_result_wait.result_timeout = std::chrono::milliseconds(600);

  const std::vector<Case> cases = {
      {"three pages, the last one short", 25, {}, {}, 25, {0, 0, 10, 10, 20, 20}},
      {"exactly two full pages", 20, {}, {}, 20, {0, 0, 10, 10}},
      {"one page", 7, {}, {}, 7, {0, 0}},
      {"no results", 0, {}, {}, 0, {0, 0}},
      {"no next page from the second page on", 35, cut_after_two, {}, 20, {0, 0, 10, 10}},
      {"empty probe ends at once", 25, empty_results, {}, 0, {0}},
      {"error page as result page", 25, error_results, {}, 0, {0, 0}},
      {"result page slower than its time-out", 25, slow_results, short_result_wait, 0, {0}},
      {"page limit", 35, {}, two_pages, 20, {0, 0, 10, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto corpus = questions("电脑", c.questions, 1000);
    serve(testing::concat(corpus, questions("手机", 3, 5000)), c.behaviour);
    RecordingWindow window;
    window.keyword_value = G("电脑");
    collection_run(window, c.limits);
    const std::vector<FakeQuestion> expected(corpus.begin(), corpus.begin() + c.listed);
    EXPECT_EQ(window.results, listed(expected));
    EXPECT_EQ(collected_count, c.listed);
    EXPECT_EQ(searched_offsets(), c.offsets);
  }
}

TEST_F(CollectionRunTest, RequestsGoToTheSiteHostInProbeHarvestQuestionOrder) {
  const auto corpus = questions("旅游", 12, 700);
  serve(corpus);
  RecordingWindow window;
  window.keyword_value = G("旅游");
  collection_run(window);
  std::vector<std::string> paths;
  for (const FakeRequest& r : site().requests()) {
    EXPECT_EQ(r.host, SITE_HOST) << r.path;
    paths.push_back(r.path);
  }
  std::vector<std::string> expected = {"/search", "/search"};
  for (int i = 0; i < 10; ++i) expected.push_back("/question/" + corpus[i].id + ".html");
  expected.insert(expected.end(), {"/search", "/search"});
  for (int i = 10; i < 12; ++i) expected.push_back("/question/" + corpus[i].id + ".html");
  EXPECT_EQ(paths, expected);
}

TEST_F(CollectionRunTest, ExactKeepsOnlyPagesHoldingTheKeywordByteForByte) {
  const std::vector<FakeQuestion> corpus = {
      {"Python", "11", "Python里的列表怎么排序", "用sorted函数可以吗？"},
      {"Python", "12", "读取大文件不占内存的办法", "python的readlines一次读进来就满了。"},
      {"Python", "13", "虚拟环境有什么用", "每个教程都让先建一个环境。"},
      {"Python", "14", "字典遍历时删除元素报错", "在Python的循环里删除键会怎样？"},
      {"Python", "15", "PYTHON大写的写法对吗", "全部大写。"},
  };
  struct Case {
    bool exact;
    std::vector<int> kept;  // indexes into corpus
    const char* caption;
  };
  const std::vector<Case> cases = {
      {true, {0, 3}, "采集到精确的问题 (2) 个"},
      {false, {0, 1, 2, 3, 4}, "采集到模糊的问题 (5) 个"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exact ? "ticked" : "not ticked");
    serve(corpus);
    RecordingWindow window;
    window.keyword_value = "Python";
    window.exact_value = c.exact;
    collection_run(window);
    std::vector<FakeQuestion> expected;
    for (int i : c.kept) expected.push_back(corpus[static_cast<std::size_t>(i)]);
    EXPECT_EQ(window.results, listed(expected));
    EXPECT_EQ(window.caption, G(c.caption));
    // Every question page is fetched, listed or not.
    EXPECT_EQ(site().requests().size(), 2u + corpus.size());
  }
}

TEST_F(CollectionRunTest, ExactWithChineseKeywordSearchesTheWholePage) {
  const std::vector<FakeQuestion> corpus = {
      {"健康", "21", "每天喝多少水才算健康", "冬天不怎么出汗。"},
      {"健康", "22", "晚上总是失眠睡不着", "对身体健康影响大吗？"},
      {"健康", "23", "久坐腰疼怎么锻炼", "有没有简单动作？"},
  };
  serve(corpus);
  RecordingWindow window;
  window.keyword_value = G("健康");
  window.exact_value = true;
  collection_run(window);
  EXPECT_EQ(window.results, listed({corpus[0], corpus[1]}));
}

TEST_F(CollectionRunTest, CaptionFollowsTheCountAndTheCheckBoxOfEachTitle) {
  serve(questions("学习", 5, 300));
  RecordingWindow window;
  window.keyword_value = G("学习");
  // Ticked by the user while the third question is being fetched.
  window.after_append = [](RecordingWindow& w, int n) {
    if (n == 2) w.exact_value = true;
  };
  collection_run(window);
  EXPECT_THAT(window.captions,
              ElementsAre(G("采集到模糊的问题 (1) 个"), G("采集到模糊的问题 (2) 个"),
                          G("采集到精确的问题 (3) 个"), G("采集到精确的问题 (4) 个"),
                          G("采集到精确的问题 (5) 个")));
}

TEST_F(CollectionRunTest, ButtonIsDisabledForTheWholeRunAndCaptionKeptUntilTheFirstTitle) {
  serve(testing::concat(questions("电脑", 3, 100), questions("手机", 2, 200)));
  RecordingWindow window;
  window.keyword_value = G("电脑");
  window.results = "typed by the user";
  collection_run(window);
  EXPECT_EQ(window.caption, G("采集到模糊的问题 (3) 个"));

  // The second run: the box is cleared, the count restarts, and the frame
  // shows the first run's caption until its own first title.
  window.keyword_value = G("手机");
  window.buttons.clear();
  window.appends.clear();
  collection_run(window);
  ASSERT_EQ(window.appends.size(), 2u);
  EXPECT_EQ(window.appends[0].caption_before, G("采集到模糊的问题 (3) 个"));
  EXPECT_EQ(window.appends[1].caption_before, G("采集到模糊的问题 (1) 个"));
  EXPECT_EQ(window.caption, G("采集到模糊的问题 (2) 个"));
  EXPECT_EQ(window.results, listed(questions("手机", 2, 200)));
  EXPECT_EQ(collected_count, 2);
  for (const auto& a : window.appends) {
    EXPECT_FALSE(a.button_enabled);
    EXPECT_EQ(a.button_caption, G("采集中"));
  }
  EXPECT_THAT(window.buttons, ElementsAre(std::pair(false, G("采集中")), std::pair(true, G("采集问题"))));
}

TEST_F(CollectionRunTest, RunWithoutTitlesLeavesTheCaptionAlone) {
  serve(questions("电脑", 3, 100));
  RecordingWindow window;
  window.keyword_value = G("没有这个词");
  window.caption = G("采集到精确的问题 (7) 个");
  collection_run(window);
  EXPECT_EQ(window.caption, G("采集到精确的问题 (7) 个"));
  EXPECT_EQ(window.results, Text());
  EXPECT_EQ(collected_count, 0);
  EXPECT_TRUE(window.button_enabled);
}

TEST_F(CollectionRunTest, IdentifierTwiceOnAPageIsFetchedAndListedTwice) {
  const auto corpus = questions("手机", 4, 40);
  FakeBehaviour behaviour;
  behaviour.ids_twice = {corpus[1].id};
  serve(corpus, behaviour);
  RecordingWindow window;
  window.keyword_value = G("手机");
  collection_run(window);
  EXPECT_EQ(window.results, listed({corpus[0], corpus[1], corpus[1], corpus[2], corpus[3]}));
  EXPECT_EQ(collected_count, 5);
}

// Pages that yield no title are neither listed nor counted, nor do they
// stop the run.
TEST_F(CollectionRunTest, QuestionsWithoutATitleAreNotListed) {
  struct Case {
    const char* name;
    FakeQuirk quirk;
    const char* keyword;  // the group's keyword, also the exact filter's
    bool exact;
  };
  const std::vector<Case> cases = {
      {"empty page", FakeQuirk::kEmpty, "电脑", false},
      {"error page", FakeQuirk::kErrorPage, "电脑", false},
      {"no title markers", FakeQuirk::kNoTitleMarkers, "电脑", false},
      {"no title markers, exact", FakeQuirk::kNoTitleMarkers, "电脑", true},
      {"time-out", FakeQuirk::kSlow, "电脑", false},
      // The time-out message itself holds this keyword.
      {"time-out, exact, keyword in the message", FakeQuirk::kSlow, "超时", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto corpus = questions(c.keyword, 3, 60);
    FakeBehaviour behaviour;
    behaviour.quirks[corpus[1].id] = c.quirk;
    behaviour.slow_delay = std::chrono::milliseconds(2500);
    serve(corpus, behaviour);
    RecordingWindow window;
    window.keyword_value = G(c.keyword);
    window.exact_value = c.exact;
    RunLimits limits;
    limits.question_timeout_seconds = 1;
    collection_run(window, limits);
    EXPECT_EQ(window.results, listed({corpus[0], corpus[2]}));
    EXPECT_EQ(collected_count, 2);
    EXPECT_EQ(window.caption, G(c.exact ? "采集到精确的问题 (2) 个" : "采集到模糊的问题 (2) 个"));
  }
}

// The site sets fresh cookies on every response. The store is cleared after
// every question and at the end of every pass, so a request carries the
// cookies of the one before only when that one was a result page.
TEST_F(CollectionRunTest, SiteCookiesAreClearedAfterEveryQuestionAndEveryPass) {
  serve(questions("旅游", 13, 900));
  RecordingWindow window;
  window.keyword_value = G("旅游");
  collection_run(window);
  const auto log = site().requests();
  ASSERT_EQ(log.size(), 2u + 10u + 2u + 3u);
  for (std::size_t k = 0; k < log.size(); ++k) {
    SCOPED_TRACE("request " + std::to_string(log[k].seq) + " " + log[k].path);
    if (k > 0 && log[k - 1].path == "/search") {
      EXPECT_EQ(fake_cookie_items(log[k].cookie), FakeSite::cookies_of(log[k - 1].seq));
    } else {
      EXPECT_EQ(log[k].cookie, "");
    }
  }
}

TEST_F(CollectionRunTest, KeywordReachesTheSiteAsTyped) {
  const std::vector<std::string> keywords = {"a&b",   "c#d", "e f", "100%",  "电脑 维修",
                                             "a+b=c", "",    "~-._", "问&答#", "x%26y"};
  for (const std::string& k : keywords) {
    SCOPED_TRACE(k);
    serve(questions(k, 2, 10));
    RecordingWindow window;
    window.keyword_value = G(k);
    collection_run(window);
    const auto log = site().requests();
    ASSERT_GE(log.size(), 2u);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(log[i].keyword, G(k).str());
      EXPECT_EQ(log[i].query.rfind("lm=0&rn=10&pn=0&fr=search&ie=gbk&word=", 0), 0u) << log[i].query;
    }
    // The site found the keyword's questions, so the keyword was understood.
    EXPECT_EQ(collected_count, 2);
  }
}

TEST_F(CollectionRunTest, KeywordIsReadAfreshForEveryRequestAndTest) {
  const auto computers = questions("电脑", 15, 100);
  const auto phones = questions("手机", 15, 200);
  serve(testing::concat(computers, phones));
  RecordingWindow window;
  window.keyword_value = G("电脑");
  // The user types a new keyword while the first page's questions load.
  window.after_append = [](RecordingWindow& w, int n) {
    if (n == 1) w.keyword_value = G("手机");
  };
  collection_run(window);
  std::vector<std::string> searched;
  for (const FakeRequest& r : site().requests())
    if (r.path == "/search") searched.push_back(utf8_from_gbk(Text(r.keyword)));
  EXPECT_THAT(searched, ElementsAre("电脑", "电脑", "手机", "手机"));
  std::vector<FakeQuestion> expected(computers.begin(), computers.begin() + 10);
  expected.insert(expected.end(), phones.begin() + 10, phones.end());
  EXPECT_EQ(window.results, listed(expected));
}

TEST_F(CollectionRunTest, ExactTestUsesTheKeywordOfTheMoment) {
  const auto corpus = questions("电脑", 3, 100);
  serve(corpus);
  RecordingWindow window;
  window.keyword_value = G("电脑");
  window.exact_value = true;
  window.after_append = [](RecordingWindow& w, int) { w.keyword_value = G("不在页面里"); };
  collection_run(window);
  EXPECT_EQ(window.results, listed({corpus[0]}));
}

TEST(CollectAddressTest, AddressesAreBuiltFromTheSiteHost) {
  EXPECT_EQ(collect_question_address("123"), Text("http://wenda.pelquor.com/question/123.html"));
  EXPECT_EQ(collect_search_address(20, "a b&c"),
            Text("http://wenda.pelquor.com/search?lm=0&rn=10&pn=20&fr=search&ie=gbk&word=a%20b%26c"));
  EXPECT_EQ(collect_search_address(0, G("电脑")),
            Text("http://wenda.pelquor.com/search?lm=0&rn=10&pn=0&fr=search&ie=gbk&word=%B5%E7%C4%D4"));
}

}  // namespace
}  // namespace qm
