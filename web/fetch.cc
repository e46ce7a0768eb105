// The timed page fetch: the exchange worker on a thread of its own, waited
// for through the event pump.

#include <cmath>
#include <memory>
#include <utility>

#include "web/curl_easy.h"
#include "web/web.h"

namespace qm {

const Text& web_timeout_message() {
  static const Text message = gbk_from_utf8(
      "超时返回，指定网站不能访问，或者你的网络出现问题，你可以把参数中的＂超时返回＂的值设置长一些。");
  return message;
}

namespace {

std::chrono::milliseconds fetch_timeout(std::optional<int> seconds) {
  if (!seconds) return std::chrono::seconds(60);
  // Whole seconds to milliseconds in floating point, truncated; below zero
  // and beyond a 32-bit count of milliseconds are clamped.
  const double ms = std::trunc(static_cast<double>(*seconds) * 1000.0);
  return inet::clamp_timeout(std::chrono::milliseconds(
      static_cast<std::chrono::milliseconds::rep>(std::fmax(ms, 0.0))));
}

}  // namespace

ByteString web_fetch_page(const Text& address, std::optional<int> method,
                          std::optional<Text> proxy, std::optional<Text> extra_headers,
                          std::optional<ByteString> post_data, std::optional<Text> cookies,
                          std::optional<int> timeout_seconds, Text* response_headers,
                          std::optional<int> page_encoding, Text* received_cookies,
                          std::optional<bool> allow_redirect) {
  if (text_trim(address).empty()) return {};
  Text target = address;
  if (text_left(address, 7) != Text("http://") && text_left(address, 8) != Text("https://")) {
    target = Text("http://") + address;
  }

  ExchangeRecord record;
  record.slots[0] = ByteString(target);
  record.slots[1] = ByteString(Text(method.value_or(0) == 1 ? "POST" : "GET"));
  record.slots[2] = ByteString(proxy.value_or(Text()));
  record.slots[3] = ByteString(extra_headers.value_or(Text()));
  record.slots[4] = post_data.value_or(ByteString());
  record.slots[5] = ByteString(cookies.value_or(Text()));
  static const Text yes = gbk_from_utf8("真");
  static const Text no = gbk_from_utf8("假");
  record.slots[6] = ByteString(allow_redirect.value_or(true) ? yes : no);

  // The stream is shared with the worker, so that a late worker still owns
  // what it writes into after the fetch has gone.
  auto stream = std::make_shared<HandoffStream>();
  if (!stream->write_record(record)) return {};
  const std::chrono::milliseconds timeout = fetch_timeout(timeout_seconds);
  stream->time_limit = inet::worker_limit(timeout);

  const bool in_time =
      inet::run_timed([stream] { web_exchange_worker(*stream); }, &stream->abort, timeout);
  if (!in_time) return ByteString(web_timeout_message());

  stream->rewind();
  std::optional<ExchangeRecord> back = stream->read_record();
  if (!back) return {};  // the worker could not read its record
  ExchangeRecord& result = *back;
  if (response_headers != nullptr) *response_headers = result.slots[5].as_text();
  if (received_cookies != nullptr) *received_cookies = result.slots[1].as_text();
  switch (page_encoding.value_or(0)) {
    case 1:
      return ByteString(codepage_utf8_to_gbk(result.slots[0].as_text()));
    case 2:
      return ByteString(codepage_big5_to_simplified(result.slots[0].as_text()));
    default:
      return std::move(result.slots[0]);
  }
}

}  // namespace qm
