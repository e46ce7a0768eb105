// The result-page GET against loopback servers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testsupport/servers.h"
#include "web/web.h"
#include "web/web_test_util.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using testsupport::HttpServer;
using testsupport::RawServer;

class PlainGetTest : public webtest::WebTest {
 protected:
  HttpServer server_;
  ByteString get(const std::string& path, std::chrono::milliseconds timeout = 5s) {
    return inet_get_plain(Text(server_.url(path)), timeout);
  }
};

TEST_F(PlainGetTest, RequestAsItGoesOut) {
  RawServer raw(testsupport::http_response("HTTP/1.1 200 OK", {}, "page"));
  ASSERT_TRUE(inet_set_cookie("http://127.0.0.1", "s", "1; path=/"));
  // The fragment stays behind.
  EXPECT_EQ(inet_get_plain(Text(raw.url("/search?pn=0&word=a#frag#more"))).bytes(), "page");
  ASSERT_TRUE(raw.wait_for_closed(1, 5s));
  const std::vector<std::string> seen = raw.received();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(testsupport::request_head_lines(seen[0]),
            (std::vector<std::string>{
                "GET /search?pn=0&word=a HTTP/1.0",
                "Host: 127.0.0.1:" + std::to_string(raw.port()),
                "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)",
                "Accept: */*",
                "Cookie: s=1",
                "Pragma: no-cache",
                "Cache-Control: no-cache",
            }));
  EXPECT_EQ(seen[0].find("\r\n\r\n"), seen[0].size() - 4);
}

TEST_F(PlainGetTest, PagesWhateverTheStatus) {
  EXPECT_EQ(get("/hello").bytes(), "hello");
  EXPECT_EQ(get("/status?code=404").bytes(), "status 404");
  EXPECT_EQ(get("/status?code=500").bytes(), "status 500");
  EXPECT_EQ(get("/chain?n=3").bytes(), "end");  // redirects followed
}

TEST_F(PlainGetTest, CookiesAreStoredAndSent) {
  get("/cookies?n=2");
  const std::string echo = get("/echo").bytes();
  EXPECT_NE(echo.find("c0=v0"), std::string::npos) << echo;
  EXPECT_NE(echo.find("c1=v1"), std::string::npos) << echo;
}

TEST_F(PlainGetTest, BrokenTransferKeepsWhatArrived) {
  EXPECT_EQ(get("/broken?bytes=5000").bytes(), std::string(5000, 'x'));
}

TEST_F(PlainGetTest, EndlessBodyStopsAt64MiB) {
  const ByteString page = get("/endless", 30s);
  EXPECT_EQ(page.size(), std::size_t{64} << 20);
}

TEST_F(PlainGetTest, NoAnswerGivesAnEmptyPage) {
  RawServer silent(std::nullopt);
  const int closed_port = testsupport::unused_loopback_port();
  struct Case {
    std::string address;
    std::chrono::milliseconds timeout;
  };
  const std::vector<Case> cases = {
      {testsupport::loopback_url(closed_port, "/"), 5s},
      {silent.url("/"), 300ms},
      {server_.url("/slow?ms=3000"), 300ms},
      {server_.url("/drip?bytes=100&ms=1000"), 300ms},
      {server_.url("/loop"), 5s},
      {server_.url("/hello"), 0ms},
      {server_.url("/hello"), -5ms},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address + " " + std::to_string(c.timeout.count()));
    EXPECT_TRUE(inet_get_plain(Text(c.address), c.timeout).empty());
  }
}

TEST_F(PlainGetTest, AddressesThatCouldInjectAreNotRequested) {
  RawServer raw(testsupport::http_response("HTTP/1.1 200 OK", {}, "page"));
  for (const std::string& tail :
       {std::string(" HTTP/1.1\r\nX-Evil: 1"), std::string("\r\n\r\nGET /second HTTP/1.0"),
        std::string("\t"), std::string("\x7f")}) {
    SCOPED_TRACE(testing::PrintToString(tail));
    EXPECT_TRUE(inet_get_plain(Text(raw.url("/a") + tail)).empty());
  }
  EXPECT_TRUE(inet_get_plain(Text("")).empty());
  EXPECT_TRUE(inet_get_plain(Text("#only-a-fragment")).empty());
  EXPECT_TRUE(inet_get_plain(Text("file:///etc/hostname")).empty());  // http and https only
  EXPECT_FALSE(raw.wait_for_closed(1, 100ms));
  EXPECT_TRUE(raw.received().empty());
}

}  // namespace
}  // namespace qm
