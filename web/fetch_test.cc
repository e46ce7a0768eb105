// The timed page fetch against loopback servers: parameters into the
// record, the wait and its time-out, out-parameters and page encodings.

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "testsupport/servers.h"
#include "web/web.h"
#include "web/web_test_util.h"

namespace qm {
namespace {

using testsupport::HttpServer;
using testsupport::RawServer;

std::string bytes_of(std::initializer_list<unsigned> values) {
  std::string out;
  for (unsigned v : values) out.push_back(static_cast<char>(v));
  return out;
}

// A pump that counts its waits; waiting blocks on a condition variable.
class CountingPump final : public EventPump {
 public:
  void dispatch_pending() override { ++dispatches; }
  void wait_until(const std::function<bool()>& ready,
                  std::chrono::steady_clock::time_point deadline) override {
    ++waits;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!ready() && std::chrono::steady_clock::now() < deadline) {
      cv_.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() +
                                                  std::chrono::milliseconds(20)));
    }
  }
  void notify() override {
    ++notifies;
    cv_.notify_all();
  }
  std::atomic<int> dispatches{0};
  std::atomic<int> waits{0};
  std::atomic<int> notifies{0};

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
};

class FetchTest : public webtest::WebTest {
 protected:
  HttpServer server_;
};

TEST_F(FetchTest, TimeoutMessageIsItsGbkText) {
  // "超时返回，指定网站不能访问，或者你的网络出现问题，你可以把参数中的＂超时返回＂的值设置长一些。"
  const std::string want = bytes_of(
      {0xb3, 0xac, 0xca, 0xb1, 0xb7, 0xb5, 0xbb, 0xd8, 0xa3, 0xac, 0xd6, 0xb8, 0xb6, 0xa8, 0xcd,
       0xf8, 0xd5, 0xbe, 0xb2, 0xbb, 0xc4, 0xdc, 0xb7, 0xc3, 0xce, 0xca, 0xa3, 0xac, 0xbb, 0xf2,
       0xd5, 0xdf, 0xc4, 0xe3, 0xb5, 0xc4, 0xcd, 0xf8, 0xc2, 0xe7, 0xb3, 0xf6, 0xcf, 0xd6, 0xce,
       0xca, 0xcc, 0xe2, 0xa3, 0xac, 0xc4, 0xe3, 0xbf, 0xc9, 0xd2, 0xd4, 0xb0, 0xd1, 0xb2, 0xce,
       0xca, 0xfd, 0xd6, 0xd0, 0xb5, 0xc4, 0xa3, 0xa2, 0xb3, 0xac, 0xca, 0xb1, 0xb7, 0xb5, 0xbb,
       0xd8, 0xa3, 0xa2, 0xb5, 0xc4, 0xd6, 0xb5, 0xc9, 0xe8, 0xd6, 0xc3, 0xb3, 0xa4, 0xd2, 0xbb,
       0xd0, 0xa9, 0xa1, 0xa3});
  EXPECT_EQ(web_timeout_message().str(), want);
}

TEST_F(FetchTest, AddressIsPrefixedUnlessItStartsWithALowerCaseScheme) {
  const std::string hostport = "127.0.0.1:" + std::to_string(server_.port());
  EXPECT_EQ(web_fetch_page(Text(hostport + "/hello"), 0).bytes(), "hello");
  EXPECT_EQ(web_fetch_page(Text("http://" + hostport + "/hello")).bytes(), "hello");
  // An upper-case scheme gets "http://" in front; the host then reads
  // "http" and the port 0, the default (routed here, so no name is looked up).
  RawServer raw(testsupport::http_response("HTTP/1.1 200 OK", {}, "ok"));
  inet_set_route("http:80:127.0.0.1:" + std::to_string(raw.port()));
  EXPECT_EQ(web_fetch_page(Text("HTTP://" + hostport + "/hello")).bytes(), "ok");
  ASSERT_TRUE(raw.wait_for_closed(1, std::chrono::seconds(5)));
  const std::vector<std::string> lines = testsupport::request_head_lines(raw.received().at(0));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "GET //HTTP://" + hostport + "/hello HTTP/1.1");
  EXPECT_EQ(lines[1], "Host: http");
}

TEST_F(FetchTest, BlankAddressReturnsAtOnceAndTouchesNothing) {
  Text headers = "keep";
  Text cookies = "keep";
  for (const std::string& address : {std::string(), std::string("   "), bytes_of({0xa1, 0xa1, 0x20})}) {
    EXPECT_TRUE(web_fetch_page(Text(address), 0, {}, {}, {}, {}, 5, &headers, {}, &cookies).empty());
  }
  EXPECT_EQ(headers, Text("keep"));
  EXPECT_EQ(cookies, Text("keep"));
  EXPECT_EQ(server_.requests_seen(), 0);
}

TEST_F(FetchTest, OutParametersWhenTheWorkerEndsInTime) {
  HttpServer server([](httplib::Server& s) {
    s.Get("/two", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Set-Cookie", "a=1; path=/");
      res.set_header("Set-Cookie", "b=2; expires=Wed, 08-May-2030 09:05:07 GMT");
      res.set_content("two", "text/plain");
    });
  });
  Text headers;
  Text cookies;
  const ByteString page =
      web_fetch_page(Text(server.url("/two")), 0, {}, {}, {}, {}, 5, &headers, {}, &cookies);
  EXPECT_EQ(page.bytes(), "two");
  EXPECT_EQ(cookies, Text("a=1;b=2;"));
  EXPECT_EQ(headers.str().rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_NE(headers.str().find("Set-Cookie: b=2;"), std::string::npos);
}

TEST_F(FetchTest, TimeOutGivesTheMessageAndLeavesOutParametersAlone) {
  Text headers = "keep";
  Text cookies = "keep";
  const ByteString page = web_fetch_page(Text(server_.url("/slow?ms=3000")), 0, {}, {}, {}, {}, 1,
                                         &headers, 1, &cookies);
  EXPECT_EQ(page, ByteString(web_timeout_message()));  // not converted
  EXPECT_EQ(headers, Text("keep"));
  EXPECT_EQ(cookies, Text("keep"));
}

TEST_F(FetchTest, ZeroTimeOutGivesTheMessageEvenForAFinishedWorker) {
  Text headers = "keep";
  for (int timeout : {0, -5}) {
    EXPECT_EQ(web_fetch_page(Text(server_.url("/hello")), 0, {}, {}, {}, {}, timeout, &headers),
              ByteString(web_timeout_message()));
  }
  EXPECT_EQ(headers, Text("keep"));
}

TEST_F(FetchTest, HostileServersEndAtTheTimeOut) {
  RawServer silent(std::nullopt);
  const std::vector<std::string> addresses = {
      silent.url("/"),
      server_.url("/drip?bytes=100&ms=1000"),
      server_.url("/slow?ms=5000"),
  };
  for (const std::string& address : addresses) {
    SCOPED_TRACE(address);
    EXPECT_EQ(web_fetch_page(Text(address), 0, {}, {}, {}, {}, 1), ByteString(web_timeout_message()));
  }
}

TEST_F(FetchTest, LateWorkerNeverReachesALaterFetch) {
  HttpServer server([](httplib::Server& s) {
    s.Get("/late", [&s](const httplib::Request&, httplib::Response& res) {
      (void)s;
      std::this_thread::sleep_for(std::chrono::milliseconds(1300));
      res.set_header("Set-Cookie", "late=1");
      res.set_content("late page", "text/plain");
    });
  });
  Text cookies = "keep";
  EXPECT_EQ(web_fetch_page(Text(server.url("/late")), 0, {}, {}, {}, {}, 1, nullptr, {}, &cookies),
            ByteString(web_timeout_message()));
  // The next fetches run while the late worker ends, and after it has.
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    Text headers;
    EXPECT_EQ(web_fetch_page(Text(server_.url("/hello")), 0, {}, {}, {}, {}, 5, &headers, {}, &cookies)
                  .bytes(),
              "hello");
    EXPECT_TRUE(cookies.empty());
    EXPECT_EQ(headers.str().find("late"), std::string::npos);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
  }
}

TEST_F(FetchTest, WaitsThroughTheInstalledPump) {
  CountingPump pump;
  event_pump_install(&pump);
  EXPECT_EQ(web_fetch_page(Text(server_.url("/slow?ms=100")), 0, {}, {}, {}, {}, 5).bytes(), "slow");
  event_pump_install(nullptr);
  EXPECT_GE(pump.waits.load(), 1);
  EXPECT_EQ(pump.notifies.load(), 1);
}

TEST_F(FetchTest, PageEncodings) {
  // UTF-8 "中文" and Big5 "中國" with a NUL byte and more after it.
  const std::string utf8 = bytes_of({0xe4, 0xb8, 0xad, 0xe6, 0x96, 0x87}) + std::string("\0z", 2);
  const std::string big5 = bytes_of({0xa4, 0xa4, 0xb0, 0xea}) + std::string("\0z", 2);
  HttpServer server([&](httplib::Server& s) {
    s.Get("/utf8", [utf8](const httplib::Request&, httplib::Response& res) {
      res.set_content(utf8, "text/html");
    });
    s.Get("/big5", [big5](const httplib::Request&, httplib::Response& res) {
      res.set_content(big5, "text/html");
    });
  });
  struct Case {
    const char* path;
    std::optional<int> encoding;
    std::string want;
  };
  const std::vector<Case> cases = {
      {"/utf8", 1, bytes_of({0xd6, 0xd0, 0xce, 0xc4})},  // 中文 in GBK, cut at the NUL
      {"/big5", 2, bytes_of({0xd6, 0xd0, 0xb9, 0xfa})},  // 中国: simplified, in GBK
      {"/utf8", std::nullopt, utf8},                     // raw, NUL included
      {"/big5", 0, big5},
      {"/utf8", 3, utf8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " " + std::to_string(c.encoding.value_or(-1)));
    EXPECT_EQ(web_fetch_page(Text(server.url(c.path)), 0, {}, {}, {}, {}, 5, nullptr, c.encoding).bytes(),
              c.want);
  }
}

TEST_F(FetchTest, MethodPostDataCookiesAndRedirectSwitch) {
  const std::string posted = web_fetch_page(Text(server_.url("/echo")), 1, {}, Text("X-A: 1\r\n"),
                                            ByteString(std::string("q=1")), Text("k=v"))
                                 .bytes();
  EXPECT_EQ(posted.rfind("POST /echo\n", 0), 0u) << posted;
  EXPECT_NE(posted.find("\nX-A: 1\n"), std::string::npos);
  EXPECT_NE(posted.find("\nCookie: k=v\n"), std::string::npos);
  EXPECT_EQ(posted.substr(posted.size() - 4), "\nq=1");

  for (int method : {0, 2, -1}) {
    EXPECT_EQ(web_fetch_page(Text(server_.url("/echo")), method).bytes().rfind("GET /echo\n", 0), 0u);
  }
  EXPECT_EQ(web_fetch_page(Text(server_.url("/chain?n=2"))).bytes(), "end");
  Text headers;
  EXPECT_TRUE(web_fetch_page(Text(server_.url("/chain?n=2")), 0, {}, {}, {}, {}, 5, &headers, {}, nullptr,
                             false)
                  .empty());
  EXPECT_EQ(headers.str().rfind("HTTP/1.1 302", 0), 0u);
}

TEST_F(FetchTest, UnreachableHostGivesAnEmptyPage) {
  const int port = testsupport::unused_loopback_port();
  EXPECT_TRUE(web_fetch_page(Text(testsupport::loopback_url(port, "/")), 0, {}, {}, {}, {}, 5).empty());
}

TEST_F(FetchTest, AddressesThatCouldInjectFailCleanly) {
  RawServer raw(testsupport::http_response("HTTP/1.1 200 OK", {}, "ok"));
  for (const std::string& tail : {std::string(" x"), std::string("\r\nX-Evil: 1"), std::string("\x01")}) {
    EXPECT_TRUE(web_fetch_page(Text(raw.url("/a") + tail), 0, {}, {}, {}, {}, 5).empty());
  }
  EXPECT_TRUE(raw.received().empty());
}

}  // namespace
}  // namespace qm
