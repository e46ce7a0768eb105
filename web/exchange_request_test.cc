// The exchange worker's request as it goes out, byte for byte, seen by a raw
// socket server.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testsupport/servers.h"
#include "web/web.h"
#include "web/web_test_util.h"

namespace qm {
namespace {

using testsupport::RawServer;
using webtest::RecordFields;
using webtest::run_worker;

const std::string kDefaultAgent =
    "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)";
const std::string kDefaultAccept =
    "Accept: image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*";

// Replaces "$ADDR" in each line by the request's address.
std::vector<std::string> expand(std::vector<std::string> lines, const std::string& address) {
  for (std::string& line : lines) {
    const std::size_t at = line.find("$ADDR");
    if (at != std::string::npos) line.replace(at, 5, address);
  }
  return lines;
}

class ExchangeRequestTest : public webtest::WebTest {
 protected:
  RawServer server_{testsupport::http_response("HTTP/1.1 200 OK", {}, "ok")};
  std::string address_ = server_.url("/page?x=1");
  std::string host_line_ = "Host: 127.0.0.1:" + std::to_string(server_.port());

  // The one request the server saw.
  std::string request() {
    EXPECT_TRUE(server_.wait_for_closed(1, std::chrono::seconds(5)));
    const std::vector<std::string> seen = server_.received();
    EXPECT_EQ(seen.size(), 1u);
    return seen.empty() ? std::string() : seen.front();
  }
};

struct HeaderCase {
  const char* name;
  std::string method;
  std::string extra_headers;
  std::string post_data;
  std::string cookies;
  // The lines after the request line and Host; "$ADDR" is the address.
  std::vector<std::string> lines;
  std::string body;
};

TEST_F(ExchangeRequestTest, HeaderLinesForEachKindOfExtraHeaders) {
  const std::vector<HeaderCase> cases = {
      {"empty extra headers", "GET", "", "", "",
       {kDefaultAgent, kDefaultAccept, "Referer: $ADDR", "Accept-Language: zh-cn"}, ""},
      {"an Accept-Language line only", "GET", "Accept-Language: en\r\n", "", "",
       {kDefaultAgent, "Accept-Language: en", "Referer: $ADDR"}, ""},
      {"RefererNo marker", "GET", "RefererNo\r\n", "", "",
       {kDefaultAgent, kDefaultAccept, "Accept-Language: zh-cn"}, ""},
      {"RefererNo marker inside a line", "GET", "X-Note: aRefererNob\r\n", "", "",
       {kDefaultAgent, "X-Note: ab", kDefaultAccept, "Accept-Language: zh-cn"}, ""},
      {"an own Referer", "GET", "Referer: http://elsewhere.example/\r\n", "", "",
       {kDefaultAgent, "Referer: http://elsewhere.example/", kDefaultAccept,
        "Accept-Language: zh-cn"},
       ""},
      {"a lower-case user-agent line", "GET", "user-agent:  MyAgent/1.0 \r\n", "", "",
       {"user-agent:  MyAgent/1.0 ", kDefaultAccept, "Referer: $ADDR", "Accept-Language: zh-cn"},
       ""},
      {"request cookies", "GET", "", "", "a=1; b=2",
       {kDefaultAgent, kDefaultAccept, "Referer: $ADDR", "Accept-Language: zh-cn",
        "Cookie: a=1; b=2"},
       ""},
      {"POST with data", "POST", "", "q=1&r", "",
       {kDefaultAgent, kDefaultAccept, "Referer: $ADDR", "Accept-Language: zh-cn",
        "Content-Type: application/x-www-form-urlencoded", "Content-Length: 5"},
       "q=1&r"},
      {"POST with data and its own Content-Type", "POST", "Content-Type: text/plain\r\n", "hello",
       "",
       {kDefaultAgent, "Content-Type: text/plain", kDefaultAccept, "Referer: $ADDR",
        "Accept-Language: zh-cn", "Content-Length: 5"},
       "hello"},
      {"POST without data", "POST", "", "", "",
       {kDefaultAgent, kDefaultAccept, "Referer: $ADDR", "Accept-Language: zh-cn"}, ""},
      {"GET with post data sends no body", "GET", "", "ignored", "",
       {kDefaultAgent, kDefaultAccept, "Referer: $ADDR", "Accept-Language: zh-cn"}, ""},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    RawServer server(testsupport::http_response("HTTP/1.1 200 OK", {}, "ok"));
    const std::string address = server.url("/page?x=1");
    const ExchangeRecord back = run_worker(RecordFields(address).method(c.method).extra_headers(c.extra_headers).post_data(c.post_data).cookies(c.cookies));
    EXPECT_EQ(back.slots[0].bytes(), "ok");
    ASSERT_TRUE(server.wait_for_closed(1, std::chrono::seconds(5)));
    const std::vector<std::string> seen = server.received();
    ASSERT_EQ(seen.size(), 1u);
    std::vector<std::string> want = {c.method + " /page?x=1 HTTP/1.1",
                                     "Host: 127.0.0.1:" + std::to_string(server.port())};
    for (const std::string& line : expand(c.lines, address)) want.push_back(line);
    EXPECT_EQ(testsupport::request_head_lines(seen[0]), want);
    const std::size_t head_end = seen[0].find("\r\n\r\n");
    ASSERT_NE(head_end, std::string::npos);
    EXPECT_EQ(seen[0].substr(head_end + 4), c.body);
  }
}

TEST_F(ExchangeRequestTest, RequestCookiesKeepTheStoreOut) {
  ASSERT_TRUE(inet_set_cookie("http://127.0.0.1", "stored", "1; path=/"));
  run_worker(RecordFields(address_).cookies("mine=2"));
  const std::vector<std::string> lines = testsupport::request_head_lines(request());
  EXPECT_EQ(lines.back(), "Cookie: mine=2");
  for (const std::string& line : lines) EXPECT_EQ(line.find("stored"), std::string::npos) << line;
}

TEST_F(ExchangeRequestTest, BlankRequestCookiesStillUseTheStore) {
  ASSERT_TRUE(inet_set_cookie("http://127.0.0.1", "stored", "1; path=/"));
  run_worker(RecordFields(address_).cookies("   "));
  // The store's line where the cookie engine writes it, and the caller's
  // blank line at the end of the completed headers.
  EXPECT_EQ(testsupport::request_head_lines(request()),
            (std::vector<std::string>{"GET /page?x=1 HTTP/1.1", host_line_, kDefaultAgent,
                                      "Cookie: stored=1", kDefaultAccept,
                                      "Referer: " + address_, "Accept-Language: zh-cn",
                                      "Cookie:"}));
}

TEST_F(ExchangeRequestTest, RouteOverrideKeepsTheSiteName) {
  inet_set_route("wenda.pelquor.com:80:127.0.0.1:" + std::to_string(server_.port()));
  const ExchangeRecord back = run_worker(RecordFields("http://wenda.pelquor.com/q/1.html"));
  EXPECT_EQ(back.slots[0].bytes(), "ok");
  const std::vector<std::string> lines = testsupport::request_head_lines(request());
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "GET /q/1.html HTTP/1.1");
  EXPECT_EQ(lines[1], "Host: wenda.pelquor.com");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Referer: http://wenda.pelquor.com/q/1.html"),
            lines.end());
}

TEST_F(ExchangeRequestTest, ProxyGetsTheAbsoluteAddress) {
  const ExchangeRecord back = run_worker(RecordFields("http://site.invalid/a?b=1").proxy("127.0.0.1:" + std::to_string(server_.port())));
  EXPECT_EQ(back.slots[0].bytes(), "ok");
  const std::vector<std::string> lines = testsupport::request_head_lines(request());
  EXPECT_EQ(lines, (std::vector<std::string>{"GET http://site.invalid/a?b=1 HTTP/1.1",
                                             "Host: site.invalid", kDefaultAgent, kDefaultAccept,
                                             "Referer: http://site.invalid/a?b=1",
                                             "Accept-Language: zh-cn"}));
}

TEST_F(ExchangeRequestTest, AddressBeginningWithHttpsInAnyCaseTalksTlsToPort443) {
  // The raw server sees a TLS handshake, not an HTTP request. An upper-case
  // scheme is not cut from the host, which then reads "https".
  struct Case {
    std::string address;
    std::string route_host;
  };
  for (const Case& c : {Case{"https://127.0.0.1/x", "127.0.0.1"}, Case{"HTTPS://127.0.0.1/x", "https"}}) {
    SCOPED_TRACE(c.address);
    RawServer server(testsupport::http_response("HTTP/1.1 200 OK", {}, "ok"));
    inet_set_route(c.route_host + ":443:127.0.0.1:" + std::to_string(server.port()));
    const ExchangeRecord back = run_worker(RecordFields(c.address));
    EXPECT_TRUE(back.slots[0].empty());
    ASSERT_TRUE(server.wait_for_closed(1, std::chrono::seconds(5)));
    const std::vector<std::string> seen = server.received();
    ASSERT_EQ(seen.size(), 1u);
    ASSERT_FALSE(seen[0].empty());
    EXPECT_EQ(static_cast<unsigned char>(seen[0][0]), 0x16);  // TLS handshake record
  }
}

TEST_F(ExchangeRequestTest, HttpsInsideTheQueryIsPlainHttp) {
  const std::string address = server_.url("/go?to=https://x.example/");
  const ExchangeRecord back = run_worker(RecordFields(address));
  EXPECT_EQ(back.slots[0].bytes(), "ok");
  EXPECT_EQ(testsupport::request_head_lines(request()).front(),
            "GET /go?to=https://x.example/ HTTP/1.1");
}

TEST_F(ExchangeRequestTest, PathGoesOutAsWritten) {
  // GBK bytes, dot segments and a doubled slash are neither encoded nor
  // resolved.
  const std::string path = "/a/../b//q?word=\xd6\xd0\xce\xc4&x=%41";
  run_worker(RecordFields(server_.url(path)));
  EXPECT_EQ(testsupport::request_head_lines(request()).front(), "GET " + path + " HTTP/1.1");
}

TEST_F(ExchangeRequestTest, AddressesThatCouldInjectAreNotRequested) {
  const std::string base = server_.url("/a");
  const std::vector<std::string> addresses = {
      base + " b",           base + "\r\nX-Evil: 1",
      base + "\r\n\r\nGET /second HTTP/1.1", base + "\tb",
      base + std::string(1, '\x01'),         base + "\x7f",
      base + "\n",
  };
  for (const std::string& address : addresses) {
    SCOPED_TRACE(testing::PrintToString(address));
    const ExchangeRecord back = run_worker(RecordFields(address).cookies("k=v"));
    EXPECT_TRUE(back.slots[0].empty());
    // Nothing was sent, so slots 1 and 5 come back as they went in.
    EXPECT_EQ(back.slots[1].bytes(), "GET");
    EXPECT_EQ(back.slots[5].bytes(), "k=v");
  }
  EXPECT_FALSE(server_.wait_for_closed(1, std::chrono::milliseconds(100)));
  EXPECT_TRUE(server_.received().empty());
}

TEST_F(ExchangeRequestTest, LineBreaksInsideHeaderTextsMakeNoSecondRequest) {
  // Request cookies and extra headers are the caller's header text; a line
  // break there can start another header line but never another request.
  run_worker(RecordFields(address_).extra_headers("X-A: 1\r\n\r\nGET /second HTTP/1.1\r\n").cookies("a=1\r\n\r\nGET /third HTTP/1.1"));
  const std::string seen = request();
  EXPECT_EQ(seen.find("GET /second"), std::string::npos);
  EXPECT_EQ(seen.find("GET /third"), std::string::npos);
  EXPECT_EQ(seen.find("\r\n\r\n"), seen.size() - 4);
}

}  // namespace
}  // namespace qm
