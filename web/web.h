// Web access: address slicing, code pages, the internet client over
// libcurl (plain GET, process-wide cookie store, route override), the HTTP
// exchange worker, the timed page fetch and site cookie maintenance.
//
// All texts are GBK. The cookie store is process-wide and serialises its own
// access, so every routine here may run on any thread, except where a routine
// says that it waits through the installed EventPump (qm::event_pump()): such
// a routine must run on the thread that owns the pump (the user-interface
// thread in the desktop program).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "text/text.h"

namespace qm {

// ---- URL helpers (text slicing, not a URL grammar) ------------------------

// Host in lower case, without "http://" / "https://" (lower-case schemes
// only), path and port.
Text url_host(const Text& address);
// From the first "/" at or after the host to the end; "/" when none.
Text url_path(const Text& address);
// The port written after the host, 80 when none is written.
int url_port(const Text& address);

// ---- Code pages (ICU) -----------------------------------------------------

// Code page numbers understood here.
inline constexpr int kCodePageAnsi = 0;  // the system's: GBK
inline constexpr int kCodePageGbk = 936;
inline constexpr int kCodePageBig5 = 950;
inline constexpr int kCodePageUtf8 = 65001;

Text codepage_utf8_to_gbk(const Text& utf8);
// Big5 to GBK, traditional characters replaced by simplified ones; a
// character GBK lacks becomes "?".
Text codepage_big5_to_simplified(const Text& big5);
// UTF-16LE units of `text` including the terminating zero unit (default code
// page: UTF-8). Undecodable bytes become U+FFFD; a code page not listed
// above gives an empty result.
ByteString codepage_to_utf16(const Text& text, std::optional<int> code_page = std::nullopt);
// Units up to the first zero unit, in `code_page` (default: ANSI, i.e. GBK);
// a character the code page lacks becomes "?".
Text codepage_from_utf16(const ByteString& units, std::optional<int> code_page = std::nullopt);
Text codepage_big5_to_gbk(const Text& big5);
// One character for one: a traditional character becomes its simplified
// form where that has a GBK encoding of the same length; every other byte
// (ASCII, bytes that are not GBK) stays as it is.
Text codepage_simplify(const Text& gbk);

// The boundary with UTF-8 front ends (windows, terminals). A character GBK
// cannot hold, and invalid UTF-8, become "?"; bytes that are not GBK become
// U+FFFD.
Text gbk_from_utf8(std::string_view utf8);
std::string utf8_from_gbk(const Text& gbk);

// ---- Internet client ------------------------------------------------------

// Test seam: a process-wide route override in the manner of curl's
// --connect-to, "HOST:PORT:ADDRESS:PORT" (empty: none). Addresses, Host
// headers and cookie domains stay those of the original host.
void inet_set_route(const std::string& connect_to);

// Whether an address may be requested at all: it holds no byte at or below
// the space and no DEL, so nothing in it can end a request line or a header.
// The client refuses any other address without starting a worker.
bool inet_address_is_requestable(std::string_view address);

// Result-page GET: HTTP/1.0, its own agent, Accept */*, never from a cache,
// redirects followed (at most 10), the fragment not sent, cookies of the store
// sent and stored. The body to its end whatever the status (at most 64 MiB);
// empty when no answer came. Waits through the event pump, dispatching
// events, and gives up after `timeout` (empty result). An address holding
// control characters or blanks is not requested (empty result).
ByteString inet_get_plain(const Text& address,
                          std::chrono::milliseconds timeout = std::chrono::seconds(60));

// Writes one cookie into the store, as a site would set it for `url`:
// `data` is "value[; expires=...][; path=...][; domain=.x.y]", attributes in
// any order and case (also max-age and secure; others are ignored). Without
// a domain the cookie is the host's alone; a domain must be one the host
// lies in (for an IP address, the address itself). An expiry in the past
// deletes the cookie of that name, domain and path. Returns whether the
// store took it: false for an address without a host, an empty name, a name
// holding "=", ";" or control bytes, or control bytes in `data`.
bool inet_set_cookie(const Text& url, const Text& name, const Text& data);
// The cookie string the store would send to `url` ("n1=v1; n2=v2"), any
// length: cookies of longer paths first, otherwise in the store's order
// (the order they were first written); empty when it holds none.
Text inet_get_cookie(const Text& url);
// Drops every cookie in the store (tests and tools).
void inet_clear_all_cookies();

// ---- HTTP exchange worker -------------------------------------------------

// The seven slots passed between the timed fetch and its worker.
// In: 0 address, 1 method, 2 proxy, 3 extra headers, 4 post data,
//     5 request cookies, 6 redirects ("真" or "假").
// Out: 0 body, 1 received cookies ("a=1;b=2;"), 5 raw response headers.
struct ExchangeRecord {
  std::array<ByteString, 7> slots;
};

// The in-memory stream through which a record crosses between threads. One
// thread at a time touches it; `abort` may be set from any thread and tells a
// late worker to stop as soon as it can.
class HandoffStream {
 public:
  void rewind() noexcept { pos_ = 0; }
  // Replaces the stream's content from the current position on.
  bool write_record(const ExchangeRecord& record);
  // Reads up to seven slots, filling missing ones with empty strings;
  // nullopt when the stream holds no readable record.
  std::optional<ExchangeRecord> read_record();
  std::atomic<bool> abort{false};
  // When above zero, the worker's transfer ends after this long (the timed
  // fetch sets a second beyond its own time-out); zero: no limit but the
  // abort flag.
  std::chrono::milliseconds time_limit{0};

 private:
  std::string bytes_;
  std::size_t pos_ = 0;
};

// Performs one exchange for the record in `stream` and writes the record back.
void web_exchange_worker(HandoffStream& stream);

// ---- Timed page fetch ------------------------------------------------------

// "超时返回，..." in GBK: what web_fetch_page returns when the time-out passes.
const Text& web_timeout_message();

// Fetches a page on a worker thread, waiting through the event pump for at
// most `timeout_seconds` (default 60). Returns the body, or the time-out
// message, or empty when the exchange failed. Out-parameters are written only
// when given and only when the worker ended in time. A time-out of 0 gives
// the message even when the worker is done; a negative one counts as 0, one
// beyond a 32-bit count of milliseconds is cut there. A worker that ends
// late is told to stop and finishes on its own; nothing of it reaches the
// caller or a later fetch.
ByteString web_fetch_page(const Text& address,
                          std::optional<int> method = std::nullopt,
                          std::optional<Text> proxy = std::nullopt,
                          std::optional<Text> extra_headers = std::nullopt,
                          std::optional<ByteString> post_data = std::nullopt,
                          std::optional<Text> cookies = std::nullopt,
                          std::optional<int> timeout_seconds = std::nullopt,
                          Text* response_headers = nullptr,
                          std::optional<int> page_encoding = std::nullopt,
                          Text* received_cookies = nullptr,
                          std::optional<bool> allow_redirect = std::nullopt);

// ---- Site cookie maintenance -----------------------------------------------

// An OLE Automation date: days since 1899-12-30 00:00:00, the fraction the
// time of day (before the epoch the day counts down, the time still up:
// -1.25 is 1899-12-29 06:00). 0 stands for no expiry. ole_date gives 0 for
// fields that name no moment between 0100-01-01 and 9999-12-31 23:59:59.
using OleDate = double;
OleDate ole_date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// Writes (or, with an empty value, deletes) a cookie of the host for the host
// and its root domain; returns the store's answer to the second write. With
// an empty name: clears the site and returns true.
bool cookie_set(const Text& address, std::optional<Text> name = std::nullopt,
                std::optional<Text> value = std::nullopt,
                std::optional<OleDate> expiry = std::nullopt);
// Deletes the cookies the store returns for the host, first to last; always
// true. It ends when the host has none left, or when a pass would delete the
// same name as the pass before (a cookie these writes cannot reach).
bool cookie_clear_site(const Text& address);
// The host's cookie string, or with a name the value of the first cookie of
// exactly that name (empty when there is none).
Text cookie_get(const Text& address, std::optional<Text> name = std::nullopt);
// "Wed, 8-May-2013 9:5:7 GMT", to the nearest second. A date beyond the
// calendar's range is written as the range's nearest end.
Text cookie_format_expiry(OleDate date);
// The domain written after "; domain=." for a host: its last two labels;
// a host with one dot or none is its own root domain.
Text url_root_domain(const Text& host);

}  // namespace qm
