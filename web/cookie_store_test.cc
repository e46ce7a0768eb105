#include <gtest/gtest.h>

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "testsupport/servers.h"
#include "web/cookie_store_internal.h"
#include "web/curl_easy.h"
#include "web/inet_internal.h"
#include "web/web.h"

namespace qm {
namespace {

using Easy = inet::EasyPtr;

Easy shared_easy() {
  inet::global_init();
  Easy easy(curl_easy_init());
  inet::share_cookies(easy.get());
  return easy;
}

// Every entry the engine holds, as it lists them (expired ones included).
std::vector<std::string> engine_entries() {
  Easy easy = shared_easy();
  curl_slist* list = nullptr;
  curl_easy_getinfo(easy.get(), CURLINFO_COOKIELIST, &list);
  std::vector<std::string> out;
  for (const curl_slist* item = list; item != nullptr; item = item->next) out.emplace_back(item->data);
  curl_slist_free_all(list);
  return out;
}

class CookieStore : public ::testing::Test {
 protected:
  void SetUp() override { inet_clear_all_cookies(); }
  void TearDown() override { inet_clear_all_cookies(); }
};

struct Write {
  const char* url;
  const char* name;
  const char* data;
  bool taken;
};
struct Read {
  const char* url;
  const char* cookies;
};
struct StoreCase {
  const char* what;
  std::vector<Write> writes;
  std::vector<Read> reads;
};

// Future and past dates for expiry attributes.
constexpr const char* kFuture = "Fri, 1-Jan-2100 1:1:1 GMT";
constexpr const char* kPast = "Fri, 1-Jan-1999 1:1:1 GMT";

Text with(const std::string& head, const char* date) { return Text(head + date); }

TEST_F(CookieStore, MatchesCookiesToAddresses) {
  const std::string future_a = "v; path=/; expires=" + std::string(kFuture);
  const std::string past_a = "x; path=/; expires=" + std::string(kPast);
  const std::string mixed =
      "v; Domain=.y.z; HttpOnly; EXPIRES=" + std::string(kFuture) + "; SameSite=Lax; Path=/";
  const std::string other_path = "x; path=/other; expires=" + std::string(kPast);
  const std::vector<StoreCase> cases = {
      {"host cookie: that host alone",
       {{"http://x.y.z", "a", "v; path=/", true}},
       {{"http://x.y.z", "a=v"}, {"http://x.y.z/any/page?q=1", "a=v"},
        {"http://w.x.y.z", ""}, {"http://y.z", ""}, {"http://x.y.zz", ""}}},
      {"domain cookie: the domain and every host below it",
       {{"http://x.y.z", "a", "v; path=/; domain=.y.z", true}},
       {{"http://x.y.z", "a=v"}, {"http://w.y.z", "a=v"}, {"http://y.z", "a=v"},
        {"http://xy.z", ""}, {"http://y.zz", ""}}},
      {"domain without its dot",
       {{"http://x.y.z", "a", "v; domain=y.z", true}},
       {{"http://w.y.z", "a=v"}}},
      {"domain the host does not lie in is refused",
       {{"http://x.y.z", "a", "v; domain=.other.z", false},
        {"http://xy.z", "b", "v; domain=y.z", false},
        {"http://x.y.z", "c", "v; domain=z", false}},
       {{"http://x.y.z", ""}, {"http://other.z", ""}, {"http://y.z", ""}}},
      {"host without a dot is its own domain",
       {{"http://intranet/", "a", "v; path=/; domain=.intranet", true}},
       {{"http://intranet", "a=v"}}},
      {"IP hosts take no domain cookies",
       {{"http://127.0.0.1", "a", "v; domain=.0.1", false},
        {"http://127.0.0.1", "b", "v; path=/; domain=127.0.0.1", true}},
       {{"http://127.0.0.1", "b=v"}, {"http://10.0.0.1", ""}}},
      {"upper-case addresses",
       {{"HTTP://X.Y.Z:8080/", "a", "v; path=/; domain=.Y.Z", true}},
       {{"http://x.y.z", "a=v"}, {"http://W.Y.Z/", "a=v"}}},
      {"paths: prefix at a slash",
       {{"http://x.y.z", "a", "v; path=/a", true}},
       {{"http://x.y.z/a", "a=v"}, {"http://x.y.z/a/b", "a=v"}, {"http://x.y.z/ab", ""},
        {"http://x.y.z/", ""}}},
      {"no path: the directory of the address",
       {{"http://x.y.z/dir/page.html", "a", "v", true}},
       {{"http://x.y.z/dir/other", "a=v"}, {"http://x.y.z/", ""}}},
      {"longer paths first, otherwise in order of writing",
       {{"http://x.y.z", "p", "1; path=/", true},
        {"http://x.y.z", "q", "2; path=/", true},
        {"http://x.y.z", "deep", "3; path=/a/b", true},
        {"http://x.y.z", "r", "4; path=/a", true}},
       {{"http://x.y.z", "p=1; q=2"}, {"http://x.y.z/a/b/c", "deep=3; r=4; p=1; q=2"}}},
      {"a new value keeps its place",
       {{"http://x.y.z", "p", "1; path=/", true},
        {"http://x.y.z", "q", "2; path=/", true},
        {"http://x.y.z", "p", "9; path=/", true}},
       {{"http://x.y.z", "p=9; q=2"}}},
      {"host and domain cookie of one name are two cookies",
       {{"http://x.y.z", "a", "1; path=/", true},
        {"http://x.y.z", "a", "2; path=/; domain=.y.z", true}},
       {{"http://x.y.z", "a=1; a=2"}, {"http://w.y.z", "a=2"}}},
      {"expiry ahead keeps, attributes in any order and case",
       {{"http://x.y.z", "a", future_a.c_str(), true},
        {"http://x.y.z", "b", mixed.c_str(), true}},
       {{"http://x.y.z", "a=v; b=v"}, {"http://w.y.z", "b=v"}}},
      {"a past expiry deletes that cookie only",
       {{"http://x.y.z", "a", "1; path=/", true},
        {"http://x.y.z", "a", "2; path=/; domain=.y.z", true},
        {"http://x.y.z", "b", "3; path=/", true},
        {"http://x.y.z", "a", past_a.c_str(), true}},
       {{"http://x.y.z", "a=2; b=3"}}},
      {"a deletion for another path leaves the cookie",
       {{"http://x.y.z", "a", "1; path=/", true},
        {"http://x.y.z", "a", other_path.c_str(), true}},
       {{"http://x.y.z", "a=1"}}},
      {"max-age",
       {{"http://x.y.z", "a", "1; path=/; max-age=3600", true},
        {"http://x.y.z", "b", "2; path=/", true},
        {"http://x.y.z", "b", "2; path=/; max-age=0", true}},
       {{"http://x.y.z", "a=1"}}},
      {"an unreadable expiry makes a session cookie",
       {{"http://x.y.z", "a", "1; path=/; expires=someday", true}},
       {{"http://x.y.z", "a=1"}}},
      {"secure cookies go to https only",
       {{"https://x.y.z", "s", "1; path=/; secure", true},
        {"http://x.y.z", "p", "2; path=/", true}},
       {{"http://x.y.z", "p=2"}, {"https://x.y.z", "s=1; p=2"}}},
      {"values as written: empty, with '=' and GBK bytes",
       {{"http://x.y.z", "e", "; path=/", true},
        {"http://x.y.z", "q", "k=v; path=/", true},
        {"http://x.y.z", "g", "\xD6\xD0\xCE\xC4; path=/", true}},
       {{"http://x.y.z", "e=; q=k=v; g=\xD6\xD0\xCE\xC4"}}},
      {"names and data that could break a line are refused",
       {{"http://x.y.z", "", "v; path=/", false},
        {"http://x.y.z", "a=b", "v", false},
        {"http://x.y.z", "a;b", "v", false},
        {"http://x.y.z", "a\tb", "v", false},
        {"http://x.y.z", "a\t", "v", false},
        {"http://x.y.z", "\ta", "v", false},
        {"http://x.y.z", "a", "v\tTRUE", false},
        {"http://x.y.z", "a", "v\r\nSet-Cookie: evil=1", false}},
       {{"http://x.y.z", ""}}},
      {"addresses without a host",
       {{"", "a", "v", false}, {"http://", "a", "v", false}},
       {{"", ""}, {"http://", ""}}},
  };
  for (const StoreCase& c : cases) {
    inet_clear_all_cookies();
    for (const Write& w : c.writes) {
      EXPECT_EQ(inet_set_cookie(w.url, w.name, w.data), w.taken)
          << c.what << ": " << w.url << " " << w.name << " " << Text(w.data);
    }
    for (const Read& r : c.reads) {
      EXPECT_EQ(inet_get_cookie(r.url), Text(r.cookies)) << c.what << ": read " << r.url;
    }
  }
}

TEST_F(CookieStore, DeletionLeavesNoLiveEntry) {
  ASSERT_TRUE(inet_set_cookie("http://x.y.z", "gone", "1; path=/"));
  ASSERT_TRUE(inet_set_cookie("http://x.y.z", "gone", with("delete; path=/; expires=", kPast)));
  EXPECT_EQ(inet_get_cookie("http://x.y.z"), Text(""));
  // The engine drops the expired entry at its next addition.
  ASSERT_TRUE(inet_set_cookie("http://x.y.z", "kept", "1; path=/"));
  const std::vector<std::string> entries = engine_entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_NE(entries[0].find("\tkept\t1"), std::string::npos) << entries[0];
}

TEST_F(CookieStore, ClearAllEmptiesTheStore) {
  ASSERT_TRUE(inet_set_cookie("http://x.y.z", "a", "1; path=/"));
  ASSERT_TRUE(inet_set_cookie("http://o.p", "b", "1; path=/; domain=o.p"));
  inet_clear_all_cookies();
  EXPECT_TRUE(engine_entries().empty());
  EXPECT_EQ(inet_get_cookie("http://x.y.z"), Text(""));
}

TEST_F(CookieStore, LongCookieStringsAreReadWhole) {
  std::string expected;
  const std::string value(100, 'v');
  for (int i = 0; i < 150; ++i) {
    const std::string name = "c" + std::to_string(i);
    ASSERT_TRUE(inet_set_cookie("http://x.y.z", Text(name), Text(value + "; path=/")));
    if (!expected.empty()) expected += "; ";
    expected += name + "=" + value;
  }
  const Text got = inet_get_cookie("http://x.y.z");
  EXPECT_GT(got.length(), 7500);
  EXPECT_EQ(got, Text(expected));
}

TEST_F(CookieStore, AFloodOfNamesIsBoundedPerDomain) {
  int taken = 0;
  for (int i = 0; i < 10000; ++i) {
    taken += inet_set_cookie("http://x.y.z", Text("f" + std::to_string(i)), "v; path=/") ? 1 : 0;
  }
  EXPECT_EQ(taken, static_cast<int>(inet::kMaxCookiesPerDomain));
  EXPECT_EQ(engine_entries().size(), inet::kMaxCookiesPerDomain);
  // A full domain still replaces its own cookies and takes a new one once
  // one is gone; other domains are not affected.
  EXPECT_TRUE(inet_set_cookie("http://x.y.z", "f0", "changed; path=/"));
  EXPECT_FALSE(inet_set_cookie("http://x.y.z", "new", "v; path=/"));
  EXPECT_TRUE(inet_set_cookie("http://x.y.z", "f1", with("x; path=/; expires=", kPast)));
  EXPECT_TRUE(inet_set_cookie("http://x.y.z", "new", "v; path=/"));
  EXPECT_FALSE(inet_set_cookie("http://x.y.z", "newer", "v; path=/"));
  EXPECT_TRUE(inet_set_cookie("http://x.y.z", "d", "v; path=/; domain=y.z"));
  EXPECT_TRUE(inet_set_cookie("http://other.z", "o", "v; path=/"));
  const std::string got = inet_get_cookie("http://x.y.z").str();
  EXPECT_TRUE(got.starts_with("f0=changed; f2=v")) << got.substr(0, 40);
  EXPECT_NE(got.find("new=v"), std::string::npos);
  inet_clear_all_cookies();
  EXPECT_TRUE(inet_set_cookie("http://x.y.z", "again", "v; path=/"));
}

TEST_F(CookieStore, RequestsSendAndKeepStoreCookies) {
  testsupport::HttpServer server;
  ASSERT_TRUE(inet_set_cookie("http://127.0.0.1", "sent", "1; path=/"));
  ASSERT_TRUE(inet_set_cookie("http://127.0.0.1", "dropped", "1; path=/"));
  ASSERT_TRUE(inet_set_cookie("http://127.0.0.1", "dropped", with("delete; path=/; expires=", kPast)));

  std::string body;
  Easy easy = shared_easy();
  curl_easy_setopt(easy.get(), CURLOPT_URL, server.url("/echo").c_str());
  curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT_MS, 3000L);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION,
                   +[](char* data, std::size_t size, std::size_t count, void* user) {
                     static_cast<std::string*>(user)->append(data, size * count);
                     return size * count;
                   });
  curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &body);
  ASSERT_EQ(curl_easy_perform(easy.get()), CURLE_OK);
  EXPECT_NE(body.find("Cookie: sent=1"), std::string::npos) << body;
  EXPECT_EQ(body.find("dropped"), std::string::npos) << body;

  curl_easy_setopt(easy.get(), CURLOPT_URL, server.url("/cookies?n=2").c_str());
  body.clear();
  ASSERT_EQ(curl_easy_perform(easy.get()), CURLE_OK);
  EXPECT_EQ(inet_get_cookie(Text(server.url("/"))), Text("sent=1; c0=v0; c1=v1"));
}

TEST_F(CookieStore, ThreadsWriteAndReadAtOnce) {
  constexpr int kThreads = 4;
  constexpr int kCookies = 40;
  std::vector<std::thread> threads;
  std::vector<int> failures(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      const std::string url = "http://h" + std::to_string(t) + ".y.z";
      for (int i = 0; i < kCookies; ++i) {
        if (!inet_set_cookie(Text(url), Text("c" + std::to_string(i)), "v; path=/")) ++failures[t];
        const std::string shared = "d" + std::to_string(t) + "_" + std::to_string(i);
        if (!inet_set_cookie(Text(url), Text(shared), "v; path=/; domain=.y.z")) ++failures[t];
        if (inet_get_cookie(Text(url)).empty()) ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(failures[t], 0) << "thread " << t;
    const std::string url = "http://h" + std::to_string(t) + ".y.z";
    const std::string got = inet_get_cookie(Text(url)).str();
    for (int i = 0; i < kCookies; ++i) {
      EXPECT_NE(got.find("c" + std::to_string(i) + "=v"), std::string::npos) << url << " c" << i;
    }
  }
  // Every thread's domain cookies are there for everyone.
  const std::string domain_cookies = inet_get_cookie("http://y.z").str();
  EXPECT_EQ(std::count(domain_cookies.begin(), domain_cookies.end(), '='), kThreads * kCookies);
}

}  // namespace
}  // namespace qm
