// The result-page GET. The request as it goes out:
//   GET PATH HTTP/1.0
//   Host
//   User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)
//   Accept: */*
//   Cookie: the store's cookies for the address, when it holds any
//   Pragma: no-cache          (what an HTTP/1.0 cache obeys)
//   Cache-Control: no-cache   (the same for HTTP/1.1 caches on the way)
// libcurl keeps no cache of its own, so the answer always comes from the
// server and is stored nowhere.

#include <memory>

#include "web/curl_easy.h"
#include "web/inet_internal.h"
#include "web/web.h"

namespace qm {

namespace {

struct PlainGet {
  std::string url;
  std::atomic<bool> abort{false};
  std::string body;
};

void plain_get(PlainGet& get, std::chrono::milliseconds time_limit) {
  inet::Exchange ex(&get.abort, time_limit);
  ex.option(CURLOPT_URL, get.url.c_str());
  ex.option(CURLOPT_PATH_AS_IS, 1L);
  ex.option(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  ex.option(CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
  ex.option(CURLOPT_FOLLOWLOCATION, 1L);
  // libcurl's own "Accept: */*" is the one wanted; it goes before the
  // store's cookies.
  inet::SlistPtr lines;
  if (!ex.ok() || !inet::slist_append(lines, "Pragma: no-cache") ||
      !inet::slist_append(lines, "Cache-Control: no-cache") || !ex.set_headers(std::move(lines))) {
    return;
  }
  inet::share_cookies(ex.handle());
  ex.perform();  // a transfer that breaks off keeps what it received
  get.body = std::move(ex.body());
}

}  // namespace

ByteString inet_get_plain(const Text& address, std::chrono::milliseconds timeout) {
  std::string_view url = address.view();
  url = url.substr(0, url.find('#'));  // the fragment is not sent
  if (url.empty() || !inet_address_is_requestable(url)) return {};
  auto get = std::make_shared<PlainGet>();
  get->url = std::string(url);
  const std::chrono::milliseconds limit = inet::worker_limit(timeout);
  if (!inet::run_timed([get, limit] { plain_get(*get, limit); }, &get->abort, timeout)) {
    return {};
  }
  return ByteString(std::move(get->body));
}

}  // namespace qm
