// A fake question-and-answer site on loopback for tests, benchmarks and the
// demo. It serves GBK result pages (/search?...&pn=N&...&word=KEYWORD, ten
// results a page, "下一页" while more pages follow) and question pages
// (/question/ID.html) built from a corpus, sets a host cookie and a domain
// cookie (domain=.pelquor.com) on every response and records every request.
//
// Reach it through qm::inet_set_route(site.route()), so that addresses, Host
// headers and cookie domains stay those of qm::SITE_HOST.
//
// Thread rules: the site answers on its own threads; every member may be
// called from any thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// One question of the corpus. Texts are UTF-8; the site serves them as GBK.
struct FakeQuestion {
  std::string keyword;  // the search word under which it is found
  std::string id;       // digits, unique within a site
  std::string title;
  std::string body;
};

// Parses "keyword<TAB>title<TAB>body" lines (body optional); blank lines and
// lines beginning with "#" are skipped, and so are lines without a title.
// Identifiers are numbered in line order from `first_id`.
std::vector<FakeQuestion> fake_corpus_parse(std::string_view tsv, long long first_id = 301000001);
// Reads and parses a corpus file; nullopt when it cannot be read.
std::optional<std::vector<FakeQuestion>> fake_corpus_load(const std::string& path);

// How a question page is answered instead of normally.
enum class FakeQuirk {
  kSlow,            // after FakeBehaviour::slow_delay
  kEmpty,           // status 200, no body
  kErrorPage,       // status 500, an error page without title markers
  kNoTitleMarkers,  // the page's <title> lacks the site's suffix
};

// Hostile answers, for hardening tests: each replaces the page it is set
// for. Where the page still comes, its own bytes come first, so that a
// client keeping a bounded part of the answer still finds the title.
enum class FakeHostile {
  kRedirectLoop,  // 302 to the address asked for, every time
  kHugeBody,      // the page, then filler to 200 MiB with its length announced; streamed
  kEndlessBody,   // the page, then filler without end (no length; streamed)
  kManyCookies,   // 10,000 Set-Cookie lines "Q<n>=<n>" (240 KB), then the page
  kLongHeaders,   // a header line of 64 KiB, then the page
  kSilent,        // takes the request and never answers, until the site stops
  kDrip,          // the page, one byte a second
  kCutMidBody,    // announces the page's length, sends half of it, closes the connection
  kBadBytes,      // the page with bytes that are not GBK (0x80, 0xFF, a lone lead byte)
                  // at the start of the title or of a result page's list, and a NUL byte
                  // after the title or after a result page's first link
};

// The size kHugeBody announces and sends.
inline constexpr std::size_t kFakeHugeBodyBytes = std::size_t{200} << 20;
// Set-Cookie lines of kManyCookies, and the header line length of kLongHeaders.
inline constexpr int kFakeManyCookies = 10000;
inline constexpr std::size_t kFakeLongHeaderBytes = std::size_t{64} << 10;

// What the site does; changeable while it runs.
struct FakeBehaviour {
  std::chrono::milliseconds result_delay{0};    // before every result page
  std::chrono::milliseconds question_delay{0};  // before every question page
  std::chrono::milliseconds slow_delay{2000};   // for FakeQuirk::kSlow
  bool results_empty = false;                   // result pages: status 200, no body
  bool results_error = false;                   // result pages: status 500 error page
  // Result pages with this 0-based index or above lack "下一页".
  std::optional<int> no_next_from_page;
  std::map<std::string, FakeQuirk> quirks;  // by question identifier
  std::set<std::string> ids_twice;          // linked twice on their result page
  // Hostile answers of result pages (by 0-based page index) and of question
  // pages (by identifier); a question's hostile answer goes before its quirk.
  std::map<int, FakeHostile> hostile_results;
  std::map<std::string, FakeHostile> hostile_questions;
  // Identifiers linked after the corpus's results on every result page, as
  // given (GBK bytes, anything: blanks, quotes, CR LF, any length). Their
  // question pages are answered when the corpus holds them, else 404.
  std::vector<std::string> extra_links;
};

// The "name=value" items of a Cookie header, in any order.
std::set<std::string> fake_cookie_items(std::string_view cookie_header);

// One request as the site saw it.
struct FakeRequest {
  int seq = 0;          // 1 for the first request the site answered
  std::string path;     // decoded path, "/search" or "/question/ID.html"
  std::string query;    // raw query string, as sent
  std::string keyword;  // the "word" value percent-decoded: the raw bytes (GBK)
  std::string host;     // Host header
  std::string cookie;   // Cookie header; empty when none came
  std::string set_cookies;  // the cookies this response set: "QMH=h<seq>; QMD=d<seq>"
};

class FakeSite {
 public:
  // Listens on 127.0.0.1:`port` (0: a free port) and starts answering.
  // port() is 0 when the port could not be bound.
  explicit FakeSite(std::vector<FakeQuestion> corpus, int port = 0);
  ~FakeSite();
  FakeSite(const FakeSite&) = delete;
  FakeSite& operator=(const FakeSite&) = delete;

  int port() const noexcept { return port_; }
  // "wenda.pelquor.com:80:127.0.0.1:PORT", for qm::inet_set_route.
  std::string route() const;

  void set_behaviour(FakeBehaviour behaviour);
  FakeBehaviour behaviour() const;

  // The requests answered so far, oldest first (the latest 100,000).
  std::vector<FakeRequest> requests() const;
  void clear_requests();

  // The cookies response `seq` set, as "name=value" items.
  static std::set<std::string> cookies_of(int seq);

  // Blocks until stop() or destruction (for the stand-alone program).
  void wait();
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
};

}  // namespace qm
