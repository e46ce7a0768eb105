#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "testsupport/servers.h"
#include "web/cookie_store_internal.h"
#include "web/curl_easy.h"
#include "web/inet_internal.h"
#include "web/web.h"

namespace qm {
namespace {

constexpr const char* kDeletion = "delete; expires=Fri, 1-Jan-1999 1:1:1 GMT; path=/";

// Records every call that reaches the store while it lives.
class StoreCalls {
 public:
  StoreCalls() {
    inet::observe_cookie_store([this](const inet::CookieStoreCall& call) { calls_.push_back(call); });
  }
  ~StoreCalls() { inet::observe_cookie_store({}); }
  StoreCalls(const StoreCalls&) = delete;
  StoreCalls& operator=(const StoreCalls&) = delete;

  // "W name data" for a write, "R url" for a read.
  std::vector<std::string> log() const {
    std::vector<std::string> out;
    for (const inet::CookieStoreCall& c : calls_) {
      out.push_back(c.write ? "W " + c.url.str() + " " + c.name.str() + " " + c.data.str()
                            : "R " + c.url.str());
    }
    return out;
  }

 private:
  std::vector<inet::CookieStoreCall> calls_;
};

class SiteCookies : public ::testing::Test {
 protected:
  void SetUp() override { inet_clear_all_cookies(); }
  void TearDown() override { inet_clear_all_cookies(); }
};

TEST_F(SiteCookies, SetWritesForTheHostThenItsRootDomain) {
  {
    StoreCalls calls;
    EXPECT_TRUE(cookie_set("http://x.y.z/page", Text("a"), Text("v")));
    EXPECT_EQ(calls.log(), (std::vector<std::string>{
                               "W http://x.y.z a v; path=/",
                               "W http://x.y.z a v; path=/; domain=.y.z",
                           }));
  }
  EXPECT_EQ(cookie_get("http://x.y.z"), Text("a=v; a=v"));  // the host's and the domain's
  EXPECT_EQ(cookie_get("http://w.y.z"), Text("a=v"));
  EXPECT_EQ(cookie_get("x.y.z", Text("a")), Text("v"));
}

TEST_F(SiteCookies, SetDataStrings) {
  struct Case {
    const char* what;
    std::optional<Text> value;
    std::optional<OleDate> expiry;
    const char* first;  // the second write adds "; domain=.y.z"
  };
  const std::vector<Case> cases = {
      {"no expiry", Text("v"), std::nullopt, "v; path=/"},
      {"zero date", Text("v"), 0.0, "v; path=/"},
      {"an expiry", Text("v"), ole_date(2013, 5, 8, 9, 5, 7),
       "v; expires=Wed, 8-May-2013 9:5:7 GMT; path=/"},
      {"expiry beyond the calendar", Text("v"), 1e9,
       "v; expires=Fri, 31-Dec-9999 23:59:59 GMT; path=/"},
      {"expiry before the calendar", Text("v"), -1e9,
       "v; expires=Fri, 1-Jan-100 23:59:59 GMT; path=/"},
      {"empty value deletes", Text(""), std::nullopt, kDeletion},
      {"omitted value deletes", std::nullopt, std::nullopt, kDeletion},
      {"deletion ignores the expiry", Text(""), ole_date(2030, 1, 1), kDeletion},
      {"value as given", Text("a b=c,d"), std::nullopt, "a b=c,d; path=/"},
  };
  for (const Case& c : cases) {
    StoreCalls calls;
    cookie_set("x.y.z", Text("n"), c.value, c.expiry);
    const std::string first = c.first;
    EXPECT_EQ(calls.log(), (std::vector<std::string>{"W http://x.y.z n " + first,
                                                     "W http://x.y.z n " + first + "; domain=.y.z"}))
        << c.what;
  }
}

TEST_F(SiteCookies, DeletionRemovesHostAndDomainCookie) {
  ASSERT_TRUE(cookie_set("x.y.z", Text("a"), Text("1")));
  ASSERT_TRUE(cookie_set("x.y.z", Text("b"), Text("2")));
  EXPECT_TRUE(cookie_set("x.y.z", Text("a")));
  EXPECT_EQ(cookie_get("x.y.z"), Text("b=2; b=2"));
  EXPECT_EQ(cookie_get("w.y.z"), Text("b=2"));
}

TEST_F(SiteCookies, SetReturnsTheSecondWrite) {
  // For an IP address the root-domain write is refused; the host's own
  // cookie still goes in.
  EXPECT_FALSE(cookie_set("http://127.0.0.1", Text("a"), Text("1")));
  EXPECT_EQ(cookie_get("127.0.0.1"), Text("a=1"));
  // A host without a dot is its own domain.
  EXPECT_TRUE(cookie_set("http://intranet/x", Text("a"), Text("1")));
  EXPECT_EQ(cookie_get("intranet", Text("a")), Text("1"));
}

TEST_F(SiteCookies, AddressesOfOneHost) {
  ASSERT_TRUE(cookie_set("x.y.z", Text("k"), Text("1")));
  for (const char* address : {"x.y.z", "X.Y.Z", "http://x.y.z", "https://x.y.z/a",
                              "http://X.Y.Z:8080/Path/Page?q=1", "X.y.Z/ABC"}) {
    EXPECT_EQ(cookie_get(address, Text("k")), Text("1")) << address;
  }
  EXPECT_TRUE(cookie_set("http://X.Y.Z:81/Some/Path", Text("k")));
  EXPECT_EQ(cookie_get("x.y.z"), Text(""));
}

TEST_F(SiteCookies, GetByExactName) {
  struct Case {
    const char* name;
    const char* value;
  };
  ASSERT_TRUE(inet_set_cookie("http://x.y.z", "xid", "1; path=/"));
  ASSERT_TRUE(inet_set_cookie("http://x.y.z", "id", "2; path=/"));
  ASSERT_TRUE(inet_set_cookie("http://x.y.z", "kv", "a=b; path=/"));
  ASSERT_TRUE(inet_set_cookie("http://x.y.z", "e", "; path=/"));
  ASSERT_TRUE(inet_set_cookie("http://x.y.z", "last", "9; path=/"));
  ASSERT_EQ(cookie_get("x.y.z"), Text("xid=1; id=2; kv=a=b; e=; last=9"));
  const std::vector<Case> cases = {
      {"id", "2"},  // not the "id" inside "xid"
      {"xid", "1"}, {"kv", "a=b"}, {"e", ""}, {"last", "9"},
      {"ID", ""},   {"i", ""},     {"1", ""},   {"missing", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(cookie_get("x.y.z", Text(c.name)), Text(c.value)) << c.name;
  EXPECT_EQ(cookie_get("other.host", Text("id")), Text(""));
}

TEST_F(SiteCookies, ClearingDeletesFirstToLast) {
  ASSERT_TRUE(inet_set_cookie("http://x.y.z", "p", "1; path=/"));
  ASSERT_TRUE(inet_set_cookie("http://x.y.z", "q", "2; path=/"));
  ASSERT_EQ(cookie_get("x.y.z"), Text("p=1; q=2"));
  StoreCalls calls;
  EXPECT_TRUE(cookie_clear_site("http://X.Y.Z/any"));
  const std::string deletion = kDeletion;
  EXPECT_EQ(calls.log(), (std::vector<std::string>{
                             "R http://x.y.z",
                             "W http://x.y.z p " + deletion,
                             "W http://x.y.z p " + deletion + "; domain=.y.z",
                             "R http://x.y.z",
                             "W http://x.y.z q " + deletion,
                             "W http://x.y.z q " + deletion + "; domain=.y.z",
                             "R http://x.y.z",
                         }));
  EXPECT_EQ(inet_get_cookie("http://x.y.z"), Text(""));
}

TEST_F(SiteCookies, ClearingAnEmptySiteReadsOnce) {
  StoreCalls calls;
  EXPECT_TRUE(cookie_clear_site("x.y.z"));
  EXPECT_TRUE(cookie_set("x.y.z"));  // no name: clears likewise
  EXPECT_TRUE(cookie_set("x.y.z", Text(""), Text("v")));
  EXPECT_EQ(calls.log(), (std::vector<std::string>(3, "R http://x.y.z")));
}

TEST_F(SiteCookies, ClearingReachesHostAndDomainCookies) {
  ASSERT_TRUE(inet_set_cookie("http://x.y.z", "host", "1; path=/"));
  ASSERT_TRUE(inet_set_cookie("http://x.y.z", "dom", "2; path=/; domain=.y.z"));
  ASSERT_TRUE(inet_set_cookie("http://x.y.z", "both", "3; path=/"));
  ASSERT_TRUE(inet_set_cookie("http://x.y.z", "both", "4; path=/; domain=y.z"));
  ASSERT_TRUE(inet_set_cookie("http://other.z", "far", "5; path=/"));
  EXPECT_TRUE(cookie_set("x.y.z"));
  EXPECT_EQ(inet_get_cookie("http://x.y.z"), Text(""));
  EXPECT_EQ(inet_get_cookie("http://w.y.z"), Text(""));
  EXPECT_EQ(inet_get_cookie("http://other.z"), Text("far=5"));
}

TEST_F(SiteCookies, ClearingDeletesCookiesAServerSet) {
  testsupport::HttpServer server([](httplib::Server& routes) {
    routes.Get("/set", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Set-Cookie", "h=1; HttpOnly; path=/");
      res.set_header("Set-Cookie", "p=2; Path=/; SameSite=Lax");
      res.set_content("set", "text/plain");
    });
  });
  inet::global_init();
  inet::EasyPtr easy(curl_easy_init());
  inet::share_cookies(easy.get());
  curl_easy_setopt(easy.get(), CURLOPT_URL, server.url("/set").c_str());
  curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT_MS, 3000L);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION,
                   +[](char*, std::size_t size, std::size_t count, void*) { return size * count; });
  ASSERT_EQ(curl_easy_perform(easy.get()), CURLE_OK);
  ASSERT_EQ(cookie_get("127.0.0.1"), Text("h=1; p=2"));
  EXPECT_TRUE(cookie_clear_site(Text(server.url("/"))));
  EXPECT_EQ(cookie_get("127.0.0.1"), Text(""));
}

TEST_F(SiteCookies, ClearingEndsWhenACookieSurvives) {
  // A domain cookie for the host itself is reached by neither deletion write.
  ASSERT_TRUE(inet_set_cookie("http://w.x.y.z", "stay", "1; path=/; domain=.w.x.y.z"));
  ASSERT_TRUE(inet_set_cookie("http://w.x.y.z", "p", "2; path=/"));
  StoreCalls calls;
  EXPECT_TRUE(cookie_clear_site("w.x.y.z"));
  const std::vector<std::string> log = calls.log();
  EXPECT_EQ(log.size(), 4u);  // read, two writes for "stay", read: "stay" again ends it
  EXPECT_EQ(cookie_get("w.x.y.z"), Text("stay=1; p=2"));
}

TEST_F(SiteCookies, ClearingHasNoBufferLimit) {
  const std::string value(120, 'v');
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(inet_set_cookie("http://x.y.z", Text("c" + std::to_string(i)), Text(value + "; path=/")));
  }
  ASSERT_GT(cookie_get("x.y.z").length(), 7500);
  EXPECT_EQ(cookie_get("x.y.z", Text("c99")), Text(value));
  EXPECT_TRUE(cookie_clear_site("x.y.z"));
  EXPECT_EQ(cookie_get("x.y.z"), Text(""));
}

TEST(CookieExpiry, FormatsTheDateFields) {
  struct Case {
    OleDate date;
    const char* text;
  };
  const std::vector<Case> cases = {
      {ole_date(2013, 5, 8, 9, 5, 7), "Wed, 8-May-2013 9:5:7 GMT"},
      {ole_date(1999, 1, 1, 1, 1, 1), "Fri, 1-Jan-1999 1:1:1 GMT"},
      {ole_date(2000, 2, 29, 23, 59, 59), "Tue, 29-Feb-2000 23:59:59 GMT"},
      {ole_date(2024, 12, 31, 12), "Tue, 31-Dec-2024 12:0:0 GMT"},
      {0.0, "Sat, 30-Dec-1899 0:0:0 GMT"},
      {-1.25, "Fri, 29-Dec-1899 6:0:0 GMT"},  // before the epoch the time still counts up
      {ole_date(100, 1, 1), "Fri, 1-Jan-100 0:0:0 GMT"},
      {ole_date(9999, 12, 31, 23, 59, 59), "Fri, 31-Dec-9999 23:59:59 GMT"},
      {41402.999999, "Thu, 9-May-2013 0:0:0 GMT"},  // rounds to the nearest second
      {std::nan(""), "Sat, 30-Dec-1899 0:0:0 GMT"},
  };
  for (const Case& c : cases) EXPECT_EQ(cookie_format_expiry(c.date), Text(c.text)) << c.date;
}

TEST(CookieExpiry, OleDates) {
  struct Case {
    OleDate got;
    OleDate expected;
  };
  const std::vector<Case> cases = {
      {ole_date(1899, 12, 30), 0.0},
      {ole_date(1900, 1, 1), 2.0},
      {ole_date(2000, 2, 29, 12), 36585.5},
      {ole_date(2013, 5, 8, 9, 5, 7), 41402 + (9 * 3600 + 5 * 60 + 7) / 86400.0},
      {ole_date(1899, 12, 29, 6), -1.25},
      {ole_date(100, 1, 1), -657434.0},
      {ole_date(2013, 2, 29), 0.0},  // no such day
      {ole_date(2013, 13, 1), 0.0},
      {ole_date(2013, 1, 1, 24), 0.0},
      {ole_date(99, 12, 31), 0.0},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_DOUBLE_EQ(cases[i].got, cases[i].expected) << "case " << i;
}

TEST(RootDomain, LastTwoLabels) {
  struct Case {
    const char* host;
    const char* root;
  };
  const std::vector<Case> cases = {
      {"x.y.z", "y.z"}, {"w.x.y.z", "y.z"}, {"x.y", "x.y"},
      {"localhost", "localhost"}, {"", ""}, {"127.0.0.1", "0.1"},
  };
  for (const Case& c : cases) EXPECT_EQ(url_root_domain(c.host), Text(c.root)) << c.host;
}

}  // namespace
}  // namespace qm
