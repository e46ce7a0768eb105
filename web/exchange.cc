// The HTTP exchange worker and its hand-off stream.
//
// The request as it goes out, in this order:
//   request line ("METHOD PATH HTTP/1.1")
//   Host
//   User-Agent: the agent (left out when the extra headers carry a
//     User-Agent line, which then goes in its place among them, or when the
//     agent is empty)
//   Cookie: the store's cookies for the address, when the store is in use
//     and holds any (libcurl's cookie engine writes this line here)
//   the completed extra header lines, in order (Accept, Referer,
//     Accept-Language, Content-Type, Content-Length, Cookie as completed)
// and nothing else: libcurl's own Accept, Expect, Content-Type,
// Content-Length and Proxy-Connection lines are suppressed, so only what the
// completed headers say goes out. A header line with a blank value goes out
// as "Name:". Through a proxy the request line carries the whole address.

#include <cstdint>
#include <cstring>
#include <new>

#include "web/curl_easy.h"
#include "web/inet_internal.h"
#include "web/web.h"

namespace qm {

// ---- Hand-off stream -------------------------------------------------------
// A record is seven slots in order, each a little-endian 64-bit byte count
// followed by that many bytes.

namespace {

constexpr std::size_t kLengthBytes = 8;

void put_length(std::string& out, std::uint64_t n) {
  for (std::size_t i = 0; i < kLengthBytes; ++i) {
    out.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
  }
}

std::uint64_t get_length(const char* p) {
  std::uint64_t n = 0;
  for (std::size_t i = 0; i < kLengthBytes; ++i) {
    n |= std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
  }
  return n;
}

}  // namespace

bool HandoffStream::write_record(const ExchangeRecord& record) {
  try {
    std::size_t total = 0;
    for (const ByteString& slot : record.slots) total += kLengthBytes + slot.size();
    bytes_.resize(pos_);
    bytes_.reserve(pos_ + total);
    for (const ByteString& slot : record.slots) {
      put_length(bytes_, slot.size());
      bytes_ += slot.bytes();
    }
    pos_ = bytes_.size();
    return true;
  } catch (const std::bad_alloc&) {
    bytes_.resize(std::min(pos_, bytes_.size()));
    return false;
  }
}

std::optional<ExchangeRecord> HandoffStream::read_record() {
  ExchangeRecord record;
  std::size_t pos = pos_;
  std::size_t slots = 0;
  for (; slots < record.slots.size(); ++slots) {
    if (bytes_.size() - pos < kLengthBytes) break;  // no further slot
    const std::uint64_t n = get_length(bytes_.data() + pos);
    if (n > bytes_.size() - pos - kLengthBytes) return std::nullopt;  // cut short
    pos += kLengthBytes;
    record.slots[slots] = ByteString(bytes_.substr(pos, static_cast<std::size_t>(n)));
    pos += static_cast<std::size_t>(n);
  }
  if (slots == 0) return std::nullopt;
  pos_ = pos;
  return record;
}

// ---- Exchange worker -------------------------------------------------------

namespace {

const Text& redirect_yes() {
  static const Text yes = gbk_from_utf8("真");
  return yes;
}

bool occurs(const Text& headers, const Text& word) {
  return text_find(headers, word, std::nullopt, true) != -1;
}

// The header completion: the caller's lines with the defaults appended.
Text complete_headers(Text headers, const Text& address, const Text& method,
                      const ByteString& post_data, const Text& request_cookies) {
  if (!occurs(headers, "Accept")) {
    headers += "Accept: image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
               "application/x-shockwave-flash, application/vnd.ms-excel, "
               "application/vnd.ms-powerpoint, application/msword, */*\r\n";
  }
  if (occurs(headers, "RefererNo")) {
    headers = text_replace(headers, "RefererNo", Text(), std::nullopt, 1, true);
  } else if (!occurs(headers, "Referer")) {
    headers += Text("Referer: ") + address + "\r\n";
  }
  if (!occurs(headers, "Accept-Language")) headers += "Accept-Language: zh-cn\r\n";
  if (method == Text("POST") && !post_data.empty()) {
    if (!occurs(headers, "Content-Type")) {
      headers += "Content-Type: application/x-www-form-urlencoded\r\n";
    }
    if (!occurs(headers, "Content-Length")) {
      headers += Text("Content-Length: ") +
                 text_from_int(static_cast<std::int64_t>(post_data.size())) + "\r\n";
    }
  }
  if (!request_cookies.empty()) headers += Text("Cookie: ") + request_cookies + "\r\n\r\n";
  return headers;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The completed headers as libcurl header lines: one per line of the text
// (a CR or LF ends a line, so no line can carry another), empty lines
// dropped, then the entries that keep libcurl's own lines out.
bool header_list(const Text& completed, inet::SlistPtr& list) {
  std::string_view rest = completed.view();
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find_first_of("\r\n"), rest.size());
    std::string line(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (line.empty()) continue;
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos && colon > 0) {
      std::size_t v = colon + 1;
      while (v < line.size() && is_blank(line[v])) ++v;
      // libcurl drops a line with a blank value; "Name;" sends it empty.
      if (v == line.size()) line = line.substr(0, colon) + ";";
    }
    if (!inet::slist_append(list, line)) return false;
  }
  for (const char* own : {"Accept:", "Expect:", "Content-Type:", "Content-Length:"}) {
    if (!inet::slist_append(list, own)) return false;
  }
  return true;
}

bool is_token(const Text& method) {
  if (method.empty()) return false;
  for (char c : method.view()) {
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  }
  return true;
}

// The URL of the connection: scheme, host and port as the system computed
// them, then the path. Empty when libcurl would read another host or port
// out of it (a host holding "@", "?" or similar is not a host name).
std::string exchange_url(bool secure, const Text& host, int port, const Text& path) {
  if (host.empty() || !inet_address_is_requestable(host.view()) ||
      !inet_address_is_requestable(path.view()) || port < 1 || port > 65535) {
    return {};
  }
  const std::string url = std::string(secure ? "https://" : "http://") + host.str() + ":" +
                          std::to_string(port) + path.str();
  CURLU* parsed = curl_url();
  if (parsed == nullptr) return {};
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> owner(parsed, &curl_url_cleanup);
  if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), CURLU_PATH_AS_IS) != CURLUE_OK) return {};
  char* parsed_host = nullptr;
  char* parsed_port = nullptr;
  bool same = false;
  if (curl_url_get(parsed, CURLUPART_HOST, &parsed_host, 0) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_PORT, &parsed_port, 0) == CURLUE_OK) {
    same = host.str() == parsed_host && std::to_string(port) == parsed_port;
  }
  curl_free(parsed_host);
  curl_free(parsed_port);
  return same ? url : std::string();
}

struct Outcome {
  std::string body;
  std::string head;
  bool set_up = false;
};

Outcome exchange(const ExchangeRecord& record, const std::atomic<bool>& abort,
                 std::chrono::milliseconds time_limit) {
  Outcome outcome;
  const Text address = record.slots[0].as_text();
  const Text method = record.slots[1].as_text();
  const Text proxy = record.slots[2].as_text();
  const Text extra = record.slots[3].as_text();
  const ByteString& post_data = record.slots[4];
  const Text request_cookies = record.slots[5].as_text();
  const bool redirects = record.slots[6].as_text() == redirect_yes();

  // Only an address that begins with the secure scheme is secure; it keeps
  // the caller's cookie, redirect and cache choices like any other.
  const bool secure = text_left(text_to_lower(address), 8) == Text("https://");
  const Text host = url_host(address);
  const Text path = url_path(address);
  // Port 0 asks for the scheme's default, as the platform's client reads it.
  int port = secure ? 443 : url_port(address);
  if (port == 0) port = 80;

  Text agent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727; "
               ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)";
  if (occurs(extra, "User-Agent:")) agent = text_trim(text_between(extra, "User-Agent:", "\r\n"));

  if (!inet_address_is_requestable(address.view()) ||
      !inet_address_is_requestable(proxy.view()) || !is_token(method)) {
    return outcome;
  }
  const std::string url = exchange_url(secure, host, port, path);
  if (url.empty()) return outcome;

  inet::Exchange ex(&abort, time_limit);
  ex.option(CURLOPT_URL, url.c_str());
  ex.option(CURLOPT_PATH_AS_IS, 1L);
  ex.option(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  ex.option(CURLOPT_USERAGENT, agent.c_str());
  ex.option(CURLOPT_FOLLOWLOCATION, redirects ? 1L : 0L);
  if (method == Text("POST")) {
    ex.option(CURLOPT_POST, 1L);
    ex.option(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(post_data.size()));
    ex.option(CURLOPT_POSTFIELDS, post_data.bytes().data());
  } else if (method == Text("GET")) {
    ex.option(CURLOPT_HTTPGET, 1L);
  } else {
    ex.option(CURLOPT_CUSTOMREQUEST, method.c_str());
  }
  // The proxy serves plain http only.
  if (!proxy.empty() && !secure) ex.option(CURLOPT_PROXY, proxy.c_str());

  inet::SlistPtr lines;
  inet::SlistPtr proxy_lines;
  if (!ex.ok() ||
      !header_list(complete_headers(extra, address, method, post_data, request_cookies), lines) ||
      !ex.set_headers(std::move(lines)) ||
      !inet::slist_append(proxy_lines, "Proxy-Connection:") ||
      !ex.set_proxy_headers(std::move(proxy_lines))) {
    return outcome;
  }
  // Request cookies of the caller's own replace the store for this exchange:
  // its cookies are neither sent nor updated by the transfer.
  if (text_trim(request_cookies).empty()) inet::share_cookies(ex.handle());

  outcome.set_up = true;
  ex.perform();
  outcome.body = std::move(ex.body());
  outcome.head = ex.response_head();
  return outcome;
}

// Cookie lines of the response: slot 1's summary, and each cookie written
// into the store for "http://" plus the host.
Text take_cookies(const Text& head, const Text& host, const std::atomic<bool>& abort) {
  Text received;
  const Text marker = "Set-Cookie: ";
  if (!occurs(head, marker)) return received;
  const Text url = Text("http://") + host;
  std::string_view rest = head.view();
  while (!rest.empty() && !abort.load(std::memory_order_relaxed)) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view raw = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    Text line(raw);
    if (!occurs(line, marker)) continue;
    line = text_right(line, line.length() - marker.length());
    received += text_left_of(line, ";") + ";";
    const int p = text_find(line, "=", std::nullopt, true);
    const Text name = text_left(line, p - 1);
    const Text value = text_right(line, line.length() - p);
    inet_set_cookie(url, name, value);
  }
  return received;
}

}  // namespace

void web_exchange_worker(HandoffStream& stream) {
  stream.rewind();
  std::optional<ExchangeRecord> read = stream.read_record();
  if (!read) return;  // nothing to answer
  ExchangeRecord& record = *read;
  const Text host = url_host(record.slots[0].as_text());
  Outcome outcome = exchange(record, stream.abort, stream.time_limit);
  record.slots[0] = ByteString(std::move(outcome.body));
  if (outcome.set_up) {
    // Without a response there is no header block and no cookie.
    const Text head(std::move(outcome.head));
    record.slots[1] = ByteString(take_cookies(head, host, stream.abort));
    record.slots[5] = ByteString(head);
  }
  stream.rewind();
  stream.write_record(record);
}

}  // namespace qm
