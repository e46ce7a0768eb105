#include <gtest/gtest.h>

#include <vector>

#include "web/web.h"

namespace qm {
namespace {

struct AddressCase {
  const char* address;
  const char* host;
  const char* path;
  int port;
};

// The slicing rules on ordinary and unusual addresses alike; the odd rows
// are what the exchange and the cookie maintenance rely on.
const std::vector<AddressCase> kAddresses = {
    {"http://x.y", "x.y", "/", 80},
    {"http://x.y/", "x.y", "/", 80},
    {"http://x.y/a/b?c=1", "x.y", "/a/b?c=1", 80},
    {"x.y/a", "x.y", "/a", 80},
    {"x.y:8080", "x.y", "/", 8080},
    {"http://X.Y:81/a", "x.y", "/a", 81},
    {"http://x.y:81", "x.y", "/", 81},
    {"http://x.y?q=1", "x.y?q=1", "/", 80},
    {"http://x.y:81?q=1", "x.y", "/", 81},
    {"https://x.y/a", "x.y", "/a", 0},
    {"HTTP://x.y:81/a", "http", "//x.y:81/a", 81},
    {"http://u@x.y/a", "u@x.y", "/a", 80},
    {"http://u:p@x.y/a", "u", "/a", 0},
    {"http://p/a", "p", "//p/a", 80},
    {"", "", "/", 80},
    // Beyond the ordinary: schemes removed anywhere, ports with junk behind,
    // two-byte characters kept as they are.
    {"http://x.y/http://z", "x.y", "/http://z", 80},
    {"hTTp://x.y:8080/a", "http", "//x.y:8080/a", 8080},
    {"http://x.y:  81/a", "x.y", "/a", 81},
    {"http://x.y:abc/a", "x.y", "/a", 0},
    {"http://x.y:99999999999/", "x.y", "/", 2147483647},
    {"WENDA.X.Y/A/B", "wenda.x.y", "/A/B", 80},
    {"http://\xD6\xD0.y/\xCE\xC4", "\xD6\xD0.y", "/\xCE\xC4", 80},  // 中.y/文
    {"just text", "just text", "/", 80},
};

TEST(UrlHelpers, SliceTheAddressTable) {
  for (const AddressCase& c : kAddresses) {
    EXPECT_EQ(url_host(c.address), Text(c.host)) << c.address;
    EXPECT_EQ(url_path(c.address), Text(c.path)) << c.address;
    EXPECT_EQ(url_port(c.address), c.port) << c.address;
  }
}

}  // namespace
}  // namespace qm
