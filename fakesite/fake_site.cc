// The fake site: cpp-httplib on loopback, pages rendered from a GBK copy of
// the corpus.
#include "fakesite/fake_site.h"

#include <httplib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <unordered_map>

#include <curl/curl.h>

#include "collect/collect.h"
#include "web/web.h"

namespace qm {

namespace {

constexpr int kPerPage = 10;
// A stand-alone site serves for as long as it is left running.
constexpr std::size_t kLogLimit = 100000;

std::string gbk(std::string_view utf8) { return gbk_from_utf8(utf8).str(); }

constexpr const char* kHtml = "text/html; charset=gbk";

// Inserts `bytes` after the first `marker` of `page`; nothing when absent.
void insert_after(std::string& page, std::string_view marker, std::string_view bytes) {
  const std::size_t at = page.find(marker);
  if (at != std::string::npos) page.insert(at + marker.size(), bytes);
}

// Bytes that are not GBK (0x80, 0xFF, a lead byte before "<") where the
// page's content begins, and a NUL byte after its first item: a question
// page's title, a result page's first link.
std::string with_bad_bytes(std::string page, bool result_page) {
  using namespace std::string_view_literals;
  if (result_page) {
    insert_after(page, "</dt></dl>\n"sv, "\0\x81\xFF"sv);
    insert_after(page, "<div class=\"list\">\n"sv, "\x80\xFF\x81"sv);
  } else {
    insert_after(page, "</title>"sv, "\0\xFF"sv);
    insert_after(page, "<title>"sv, "\x80\xFF"sv);
  }
  return page;
}

// 64 KiB of filler, sent again and again by the streamed answers.
const std::string& filler() {
  static const std::string bytes(std::size_t{64} << 10, 'x');
  return bytes;
}

struct CurlFree {
  void operator()(char* p) const noexcept { curl_free(p); }
};

std::string percent_encode(const std::string& bytes) {
  std::unique_ptr<char, CurlFree> out(
      curl_easy_escape(nullptr, bytes.data(), static_cast<int>(bytes.size())));
  return out ? std::string(out.get()) : std::string();
}

std::string percent_decode(std::string_view encoded) {
  int length = 0;
  std::unique_ptr<char, CurlFree> out(curl_easy_unescape(
      nullptr, encoded.data(), static_cast<int>(encoded.size()), &length));
  return out ? std::string(out.get(), static_cast<std::size_t>(length)) : std::string();
}

// The value of `key` in a raw query string, not decoded; nullopt when absent.
std::optional<std::string_view> query_value(std::string_view query, std::string_view key) {
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view item = query.substr(0, amp);
    if (item.size() > key.size() && item.substr(0, key.size()) == key && item[key.size()] == '=')
      return item.substr(key.size() + 1);
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return std::nullopt;
}

// A question as served: GBK texts.
struct Served {
  std::string id;
  std::string title;
  std::string body;
};

}  // namespace

std::vector<FakeQuestion> fake_corpus_parse(std::string_view tsv, long long first_id) {
  std::vector<FakeQuestion> out;
  long long next_id = first_id;
  while (!tsv.empty()) {
    const std::size_t nl = tsv.find('\n');
    std::string_view line = tsv.substr(0, nl);
    tsv.remove_prefix(nl == std::string_view::npos ? tsv.size() : nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t t1 = line.find('\t');
    if (t1 == std::string_view::npos) continue;
    const std::size_t t2 = line.find('\t', t1 + 1);
    FakeQuestion q;
    q.keyword = std::string(line.substr(0, t1));
    q.title = std::string(line.substr(t1 + 1, t2 == std::string_view::npos ? std::string_view::npos
                                                                            : t2 - t1 - 1));
    if (t2 != std::string_view::npos) q.body = std::string(line.substr(t2 + 1));
    if (q.title.empty()) continue;
    q.id = std::to_string(next_id++);
    out.push_back(std::move(q));
  }
  return out;
}

std::optional<std::vector<FakeQuestion>> fake_corpus_load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return fake_corpus_parse(bytes.str());
}

std::set<std::string> fake_cookie_items(std::string_view header) {
  std::set<std::string> items;
  while (!header.empty()) {
    const std::size_t semi = header.find(';');
    std::string_view item = header.substr(0, semi);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (!item.empty()) items.emplace(item);
    if (semi == std::string_view::npos) break;
    header.remove_prefix(semi + 1);
  }
  return items;
}

struct FakeSite::Impl {
  httplib::Server server;
  std::thread thread;

  // Pages by GBK keyword, in corpus order; questions by identifier.
  std::unordered_map<std::string, std::vector<Served>> by_keyword;
  std::unordered_map<std::string, Served> by_id;

  mutable std::mutex mutex;
  std::condition_variable wake;  // ends delays and wait() at stop
  bool stopping = false;
  // Replaced whole by set_behaviour, so that a request takes it without a
  // copy (a behaviour may link 100,000 identifiers).
  std::shared_ptr<const FakeBehaviour> behaviour = std::make_shared<const FakeBehaviour>();
  std::deque<FakeRequest> log;  // the latest kLogLimit requests
  int seq = 0;

  // Sleeps for `delay` unless the site stops first.
  void pause(std::chrono::milliseconds delay) {
    if (delay <= std::chrono::milliseconds::zero()) return;
    std::unique_lock lock(mutex);
    wake.wait_for(lock, delay, [this] { return stopping; });
  }

  void answer(const httplib::Request& req, httplib::Response& res);
  // Answers with `page` (GBK) in the manner of `hostile`.
  void answer_hostile(FakeHostile hostile, std::string page, bool result_page,
                      const httplib::Request& req, httplib::Response& res);
  bool is_stopping() const {
    std::lock_guard lock(mutex);
    return stopping;
  }
  std::string result_page(const std::string& keyword, int page, const FakeBehaviour& b) const;
  static std::string question_page(const Served& q, bool with_markers);
  static std::string error_page(int status);
};

std::string FakeSite::Impl::error_page(int status) {
  const std::string code = std::to_string(status);
  return "<html><head><title>" + code + " " + gbk("错误") + "</title></head><body><h1>" + code +
         "</h1><p>" + gbk("页面暂时无法访问，请稍后再试。") + "</p></body></html>\n";
}

std::string FakeSite::Impl::question_page(const Served& q, bool with_markers) {
  std::string page =
      "<!DOCTYPE html>\n<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
      "charset=gbk\" />";
  page += with_markers ? "<title>" + q.title + "_Pelquor</title>"
                       : "\n<title>" + q.title + "</title>";
  page += "</head>\n<body>\n<div class=\"question\"><h2>" + q.title +
          "</h2>\n<div class=\"content\">" + q.body + "</div></div>\n<div class=\"footer\">" +
          gbk("问答社区") + " &copy; 2026</div>\n</body></html>\n";
  return page;
}

std::string FakeSite::Impl::result_page(const std::string& keyword, int page,
                                        const FakeBehaviour& b) const {
  const auto found = by_keyword.find(keyword);
  const std::size_t total = found == by_keyword.end() ? 0 : found->second.size();
  std::string html =
      "<!DOCTYPE html>\n<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
      "charset=gbk\" /><title>" +
      gbk("搜索结果") + "</title></head>\n<body>\n<div class=\"list\">\n";
  const std::size_t first = static_cast<std::size_t>(page) * kPerPage;
  if (total == 0) html += "<p>" + gbk("抱歉，没有找到相关的问题。") + "</p>\n";
  for (std::size_t i = first; i < total && i < first + kPerPage; ++i) {
    const Served& q = found->second[i];
    const std::string link = std::string("<a href=\"http://") + SITE_HOST + "/question/" + q.id +
                             ".html\" target=\"_blank\">" + q.title + "</a>";
    const int times = b.ids_twice.count(q.id) ? 2 : 1;
    for (int k = 0; k < times; ++k) html += "<dl><dt>" + link + "</dt></dl>\n";
  }
  for (const std::string& id : b.extra_links) {
    // Appended piece by piece: a page may link 100,000 of them.
    html.append("<dl><dt><a href=\"http://").append(SITE_HOST).append("/question/").append(id);
    html.append(".html\" target=\"_blank\">").append(id).append("</a></dt></dl>\n");
  }
  html += "</div>\n";
  const bool more = first + kPerPage < total;
  const bool cut = b.no_next_from_page && page >= *b.no_next_from_page;
  if (more && !cut) {
    html += "<div class=\"pager\"><a href=\"/search?lm=0&rn=10&pn=" +
            std::to_string((page + 1) * kPerPage) + "&fr=search&ie=gbk&word=" +
            percent_encode(keyword) + "\">" + gbk("下一页") + "&gt;</a></div>\n";
  }
  html += "</body></html>\n";
  return html;
}

void FakeSite::Impl::answer(const httplib::Request& req, httplib::Response& res) {
  FakeRequest entry;
  const std::size_t q = req.target.find('?');
  entry.query = q == std::string::npos ? std::string() : req.target.substr(q + 1);
  entry.path = req.path;
  if (auto word = query_value(entry.query, "word")) entry.keyword = percent_decode(*word);
  entry.host = req.get_header_value("Host");
  entry.cookie = req.get_header_value("Cookie");
  std::shared_ptr<const FakeBehaviour> current;
  {
    std::lock_guard lock(mutex);
    entry.seq = ++seq;
    entry.set_cookies = "QMH=h" + std::to_string(entry.seq) + "; QMD=d" + std::to_string(entry.seq);
    log.push_back(entry);
    if (log.size() > kLogLimit) log.pop_front();
    current = behaviour;
  }
  const FakeBehaviour& b = *current;
  const std::string n = std::to_string(entry.seq);
  res.set_header("Set-Cookie", "QMH=h" + n + "; path=/");
  res.set_header("Set-Cookie", "QMD=d" + n + "; path=/; domain=.pelquor.com");

  const std::string_view path = entry.path;
  const std::string_view question_prefix = "/question/";
  if (path == "/search") {
    pause(b.result_delay);
    if (b.results_empty) {
      res.status = 200;
      return;
    }
    if (b.results_error) {
      res.status = 500;
      res.set_content(error_page(500), kHtml);
      return;
    }
    int pn = 0;
    if (auto v = query_value(entry.query, "pn"))
      pn = static_cast<int>(std::clamp(std::strtol(std::string(*v).c_str(), nullptr, 10), 0L, 1000000L));
    std::string page = result_page(entry.keyword, pn / kPerPage, b);
    if (const auto hostile = b.hostile_results.find(pn / kPerPage); hostile != b.hostile_results.end()) {
      answer_hostile(hostile->second, std::move(page), true, req, res);
      return;
    }
    res.set_content(page, kHtml);
    return;
  }
  if (path.size() > question_prefix.size() + 5 && path.substr(0, question_prefix.size()) == question_prefix &&
      path.substr(path.size() - 5) == ".html") {
    const std::string id(path.substr(question_prefix.size(), path.size() - question_prefix.size() - 5));
    pause(b.question_delay);
    const auto found = by_id.find(id);
    if (const auto hostile = b.hostile_questions.find(id); hostile != b.hostile_questions.end()) {
      answer_hostile(hostile->second,
                     found != by_id.end() ? question_page(found->second, true) : error_page(404),
                     false, req, res);
      return;
    }
    if (found != by_id.end()) {
      const auto quirk = b.quirks.find(id);
      if (quirk == b.quirks.end()) {
        res.set_content(question_page(found->second, true), kHtml);
        return;
      }
      switch (quirk->second) {
        case FakeQuirk::kSlow:
          pause(b.slow_delay);
          res.set_content(question_page(found->second, true), kHtml);
          return;
        case FakeQuirk::kEmpty:
          res.status = 200;
          return;
        case FakeQuirk::kNoTitleMarkers:
          res.set_content(question_page(found->second, false), kHtml);
          return;
        case FakeQuirk::kErrorPage:
          res.status = 500;
          res.set_content(error_page(500), kHtml);
          return;
      }
    }
  }
  res.status = 404;
  res.set_content(error_page(404), kHtml);
}

void FakeSite::Impl::answer_hostile(FakeHostile hostile, std::string page, bool result_page,
                                    const httplib::Request& req, httplib::Response& res) {
  using std::chrono::milliseconds;
  // Streamed answers end when the client goes away (a write fails) or the
  // site stops.
  switch (hostile) {
    case FakeHostile::kRedirectLoop:
      res.set_redirect(req.target);
      return;
    case FakeHostile::kHugeBody: {
      auto body = std::make_shared<std::string>(std::move(page));
      res.set_content_provider(
          kFakeHugeBodyBytes, kHtml,
          [this, body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (is_stopping()) return false;
            if (offset < body->size()) {
              return sink.write(body->data() + offset, std::min(length, body->size() - offset));
            }
            return sink.write(filler().data(), std::min(length, filler().size()));
          });
      return;
    }
    case FakeHostile::kEndlessBody: {
      auto body = std::make_shared<std::string>(std::move(page));
      res.set_content_provider(
          kHtml, [this, body](std::size_t offset, httplib::DataSink& sink) {
            if (is_stopping()) return false;
            if (offset < body->size()) return sink.write(body->data() + offset, body->size() - offset);
            return sink.write(filler().data(), filler().size());
          });
      return;
    }
    case FakeHostile::kManyCookies:
      // Short lines: the header block stays below libcurl's 300 KiB limit.
      for (int i = 0; i < kFakeManyCookies; ++i) {
        const std::string n = std::to_string(i);
        res.set_header("Set-Cookie", "Q" + n + "=" + n);
      }
      res.set_content(page, kHtml);
      return;
    case FakeHostile::kLongHeaders:
      res.set_header("X-Filler", std::string(kFakeLongHeaderBytes, 'f'));
      res.set_content(page, kHtml);
      return;
    case FakeHostile::kSilent:
      pause(milliseconds(std::chrono::hours(1)));
      res.status = 503;  // the site is stopping: nothing reaches a client any more
      return;
    case FakeHostile::kDrip: {
      auto body = std::make_shared<std::string>(std::move(page));
      res.set_content_provider(
          kHtml, [this, body](std::size_t offset, httplib::DataSink& sink) {
            if (offset >= body->size()) {
              sink.done();
              return true;
            }
            if (offset > 0) pause(std::chrono::seconds(1));
            return !is_stopping() && sink.write(body->data() + offset, 1);
          });
      return;
    }
    case FakeHostile::kCutMidBody: {
      auto body = std::make_shared<std::string>(std::move(page));
      res.set_content_provider(
          body->size(), kHtml,
          [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            const std::size_t half = body->size() / 2;
            // Returning false drops the connection with the rest unsent.
            return offset < half && sink.write(body->data() + offset, half - offset);
          });
      return;
    }
    case FakeHostile::kBadBytes:
      res.set_content(with_bad_bytes(std::move(page), result_page), kHtml);
      return;
  }
}

FakeSite::FakeSite(std::vector<FakeQuestion> corpus, int port) : impl_(std::make_unique<Impl>()) {
  for (FakeQuestion& q : corpus) {
    Served s{q.id, gbk(q.title), gbk(q.body)};
    impl_->by_keyword[gbk(q.keyword)].push_back(s);
    impl_->by_id.emplace(q.id, std::move(s));
  }
  Impl& impl = *impl_;
  impl.server.set_keep_alive_timeout(1);
  // Silent and dripping answers hold a thread each for as long as they last.
  impl.server.new_task_queue = [] { return new httplib::ThreadPool(64); };
  impl.server.Get(".*", [&impl](const httplib::Request& req, httplib::Response& res) {
    impl.answer(req, res);
  });
  if (port == 0) {
    port_ = impl.server.bind_to_any_port("127.0.0.1");
  } else if (impl.server.bind_to_port("127.0.0.1", port)) {
    port_ = port;
  }
  if (port_ <= 0) {
    port_ = 0;
    return;
  }
  impl.thread = std::thread([&impl] { impl.server.listen_after_bind(); });
}

FakeSite::~FakeSite() { stop(); }

void FakeSite::stop() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stopping = true;
  }
  impl_->wake.notify_all();
  impl_->server.stop();
  if (impl_->thread.joinable()) impl_->thread.join();
}

void FakeSite::wait() {
  std::unique_lock lock(impl_->mutex);
  impl_->wake.wait(lock, [this] { return impl_->stopping; });
}

std::string FakeSite::route() const {
  return std::string(SITE_HOST) + ":80:127.0.0.1:" + std::to_string(port_);
}

void FakeSite::set_behaviour(FakeBehaviour behaviour) {
  std::lock_guard lock(impl_->mutex);
  impl_->behaviour = std::make_shared<const FakeBehaviour>(std::move(behaviour));
}

FakeBehaviour FakeSite::behaviour() const {
  std::lock_guard lock(impl_->mutex);
  return *impl_->behaviour;
}

std::vector<FakeRequest> FakeSite::requests() const {
  std::lock_guard lock(impl_->mutex);
  return {impl_->log.begin(), impl_->log.end()};
}

void FakeSite::clear_requests() {
  std::lock_guard lock(impl_->mutex);
  impl_->log.clear();
}

std::set<std::string> FakeSite::cookies_of(int seq) {
  return {"QMD=d" + std::to_string(seq), "QMH=h" + std::to_string(seq)};
}

}  // namespace qm
