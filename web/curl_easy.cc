#include "web/curl_easy.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>
#include <new>

#include "text/text.h"
#include "web/inet_internal.h"
#include "web/web.h"

namespace qm {

namespace {

std::mutex& route_mutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& route_text() {
  static std::string text;
  return text;
}

}  // namespace

void inet_set_route(const std::string& connect_to) {
  std::lock_guard<std::mutex> lock(route_mutex());
  route_text() = connect_to;
}

bool inet_address_is_requestable(std::string_view address) {
  return std::none_of(address.begin(), address.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7F;
  });
}

namespace inet {

bool slist_append(SlistPtr& list, const std::string& line) {
  curl_slist* grown = curl_slist_append(list.get(), line.c_str());
  if (grown == nullptr) return false;
  (void)list.release();  // the same list, now one entry longer
  list.reset(grown);
  return true;
}

std::string route_override() {
  std::lock_guard<std::mutex> lock(route_mutex());
  return route_text();
}

std::chrono::milliseconds clamp_timeout(std::chrono::milliseconds timeout) {
  constexpr std::chrono::milliseconds kLongest{std::numeric_limits<std::int32_t>::max()};
  return std::clamp(timeout, std::chrono::milliseconds{0}, kLongest);
}

Exchange::Exchange(const std::atomic<bool>* abort, std::chrono::milliseconds time_limit) {
  global_init();
  EasyPtr easy(curl_easy_init());
  auto buffers = std::unique_ptr<Buffers>(new (std::nothrow) Buffers);
  if (!easy || !buffers) return;
  buffers->abort = abort;
  buffers_ = std::move(buffers);
  easy_ = std::move(easy);
  Buffers* b = buffers_.get();

  option(CURLOPT_NOSIGNAL, 1L);
  // A connection serves one exchange only.
  option(CURLOPT_FORBID_REUSE, 1L);
  option(CURLOPT_FRESH_CONNECT, 1L);
  option(CURLOPT_PROTOCOLS_STR, "http,https");
  option(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  option(CURLOPT_MAXREDIRS, kMaxRedirects);
  // Nothing from the environment: no proxy unless a caller names one.
  option(CURLOPT_PROXY, "");
  option(CURLOPT_WRITEFUNCTION, &Exchange::on_body);
  option(CURLOPT_WRITEDATA, b);
  option(CURLOPT_HEADERFUNCTION, &Exchange::on_header);
  option(CURLOPT_HEADERDATA, b);
  option(CURLOPT_XFERINFOFUNCTION, &Exchange::on_progress);
  option(CURLOPT_XFERINFODATA, b);
  option(CURLOPT_NOPROGRESS, 0L);

  // Safety nets for a peer that never answers or stalls; each stays within
  // the time limit when there is one.
  using std::chrono::milliseconds;
  milliseconds connect_limit{30'000};
  long stall_seconds = 60;
  if (time_limit > milliseconds{0}) {
    time_limit = clamp_timeout(time_limit);
    connect_limit = std::min(connect_limit, time_limit);
    stall_seconds = std::clamp<long>(static_cast<long>(time_limit.count() / 1000), 1L, 60L);
    option(CURLOPT_TIMEOUT_MS, static_cast<long>(time_limit.count()));
  }
  option(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connect_limit.count()));
  option(CURLOPT_LOW_SPEED_LIMIT, 1L);
  option(CURLOPT_LOW_SPEED_TIME, stall_seconds);

  const std::string route = route_override();
  if (!route.empty()) {
    options_ok_ = options_ok_ && slist_append(route_, route);
    option(CURLOPT_CONNECT_TO, route_.get());
  }
}

bool Exchange::set_headers(SlistPtr lines) {
  headers_ = std::move(lines);
  return curl_easy_setopt(easy_.get(), CURLOPT_HTTPHEADER, headers_.get()) == CURLE_OK;
}

bool Exchange::set_proxy_headers(SlistPtr lines) {
  proxy_headers_ = std::move(lines);
  return curl_easy_setopt(easy_.get(), CURLOPT_PROXYHEADER, proxy_headers_.get()) == CURLE_OK;
}

CURLcode Exchange::perform() { return curl_easy_perform(easy_.get()); }

std::size_t Exchange::on_body(char* data, std::size_t size, std::size_t count, void* user) {
  auto* buffers = static_cast<Buffers*>(user);
  const std::size_t n = size * count;
  const std::size_t room = kMaxBodyBytes - buffers->body.size();
  if (n > room) {
    // Keep what fits, then end the transfer: returning less than given
    // stops it.
    buffers->body.append(data, room);
    buffers->capped = true;
    return 0;
  }
  buffers->body.append(data, n);
  return n;
}

std::size_t Exchange::on_header(char* data, std::size_t size, std::size_t count, void* user) {
  auto* buffers = static_cast<Buffers*>(user);
  const std::size_t n = size * count;
  std::string_view line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  // Each response (a redirect, an interim 1xx) starts with its status line;
  // only the last one's block is kept. Lines after its empty line are
  // trailers of a chunked body, not part of the head.
  if (line.starts_with("HTTP/")) {
    buffers->head.clear();
    buffers->head_complete = false;
  } else if (buffers->head_complete) {
    return n;
  }
  if (buffers->head.size() + line.size() + 2 > kMaxHeaderBytes) return 0;
  buffers->head.append(line);
  buffers->head += "\r\n";
  if (line.empty()) buffers->head_complete = true;
  return n;
}

int Exchange::on_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* buffers = static_cast<const Buffers*>(user);
  return buffers->abort != nullptr && buffers->abort->load(std::memory_order_relaxed) ? 1 : 0;
}

std::chrono::milliseconds worker_limit(std::chrono::milliseconds timeout) {
  return clamp_timeout(timeout) + std::chrono::seconds(1);
}

}  // namespace inet
}  // namespace qm
