// A whole collection run against the fake site on loopback (20 result pages
// of 10 questions), next to a minimal libcurl program making the same
// requests; and the cost of appending titles to a results box.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "collect/collect.h"
#include "fakesite/fake_site.h"
#include "web/web.h"

namespace {

constexpr int kPages = 20;
constexpr const char* kKeyword = "bench";

std::vector<qm::FakeQuestion> bench_corpus() {
  std::vector<qm::FakeQuestion> out;
  for (int i = 0; i < kPages * 10; ++i) {
    out.push_back({kKeyword, std::to_string(880000 + i), "基准问题第" + std::to_string(i + 1) + "号",
                   "这是一个用来测量的问题。"});
  }
  return out;
}

// A results box kept as text; the caption and button are dropped.
class HeadlessWindow final : public qm::RunWindow {
 public:
  qm::Text keyword() override { return kKeyword; }
  bool exact() override { return false; }
  void set_collect_button(bool, const qm::Text&) override {}
  void set_results(const qm::Text& text) override { results = text; }
  void append_results(const qm::Text& text) override { results += text; }
  void set_results_caption(const qm::Text& text) override { caption = text; }
  qm::Text results;
  qm::Text caption;
};

struct SiteFixture {
  SiteFixture() : site(bench_corpus()) { qm::inet_set_route(site.route()); }
  ~SiteFixture() { qm::inet_set_route(""); }
  qm::FakeSite site;
};

void BM_CollectionRun(benchmark::State& state) {
  SiteFixture fixture;
  HeadlessWindow window;
  for (auto _ : state) {
    qm::collection_run(window);
    if (qm::collected_count != kPages * 10) state.SkipWithError("wrong number of titles");
    fixture.site.clear_requests();
  }
  state.counters["requests/run"] = kPages * 2 + kPages * 10;
}
BENCHMARK(BM_CollectionRun)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same request sequence with plain libcurl on the calling thread: a
// fresh easy handle per request, sending what the run sends (result pages in
// HTTP/1.0 with the plain GET's lines, question pages in HTTP/1.1 with the
// exchange's lines), the site's cookies kept in a share handle and dropped
// after every question and page as the run drops them; ids found by a plain
// search. With `defaults`, libcurl's own header lines only and no cookies.
struct CurlDeleter {
  void operator()(CURL* c) const noexcept { curl_easy_cleanup(c); }
  void operator()(curl_slist* l) const noexcept { curl_slist_free_all(l); }
  void operator()(char* p) const noexcept { curl_free(p); }
};
struct ShareDeleter {
  void operator()(CURLSH* s) const noexcept { curl_share_cleanup(s); }
};
using CurlPtr = std::unique_ptr<CURL, CurlDeleter>;
using SlistPtr = std::unique_ptr<curl_slist, CurlDeleter>;

std::size_t collect_body(char* data, std::size_t size, std::size_t n, void* out) {
  static_cast<std::string*>(out)->append(data, size * n);
  return size * n;
}

SlistPtr lines(std::initializer_list<std::string> texts) {
  curl_slist* list = nullptr;
  for (const std::string& text : texts) list = curl_slist_append(list, text.c_str());
  return SlistPtr(list);
}

class MinimalClient {
 public:
  MinimalClient(const std::string& route, bool defaults)
      : defaults_(defaults), route_(lines({route})), share_(curl_share_init()) {
    curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_PSL);
    page_lines_ = lines({"Pragma: no-cache", "Cache-Control: no-cache"});
  }

  std::string result_page(const std::string& url) {
    CurlPtr easy = handle(url);
    curl_easy_setopt(easy.get(), CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(easy.get(), CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
    if (!defaults_) curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, page_lines_.get());
    return perform(easy);
  }

  std::string question_page(const std::string& url) {
    CurlPtr easy = handle(url);
    if (defaults_) {
      curl_easy_setopt(easy.get(), CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
      return perform(easy);
    }
    curl_easy_setopt(easy.get(), CURLOPT_USERAGENT,
                     "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727; "
                     ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)");
    const SlistPtr extra = lines(
        {"Accept: image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
         "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
         "application/msword, */*",
         "Referer: " + url, "Accept-Language: zh-cn", "Accept:", "Expect:", "Content-Type:",
         "Content-Length:"});
    curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, extra.get());
    return perform(easy);
  }

  void drop_cookies() {
    if (defaults_) return;
    CurlPtr easy(curl_easy_init());
    curl_easy_setopt(easy.get(), CURLOPT_SHARE, share_.get());
    curl_easy_setopt(easy.get(), CURLOPT_COOKIELIST, "ALL");
  }

 private:
  CurlPtr handle(const std::string& url) {
    CurlPtr easy(curl_easy_init());
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_CONNECT_TO, route_.get());
    curl_easy_setopt(easy.get(), CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_FORBID_REUSE, 1L);
    if (!defaults_) {
      curl_easy_setopt(easy.get(), CURLOPT_SHARE, share_.get());
      curl_easy_setopt(easy.get(), CURLOPT_COOKIEFILE, "");
    }
    return easy;
  }

  static std::string perform(const CurlPtr& easy) {
    std::string body;
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, collect_body);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &body);
    curl_easy_perform(easy.get());
    return body;
  }

  bool defaults_;
  SlistPtr route_;
  SlistPtr page_lines_;
  std::unique_ptr<CURLSH, ShareDeleter> share_;
};

// With `threads`, every request runs on a thread of its own, to show what
// starting a thread per request costs on this machine.
template <typename Request>
std::string on_thread(bool threads, Request request) {
  if (!threads) return request();
  std::string body;
  std::thread worker([&] { body = request(); });
  worker.join();
  return body;
}

// A request as compared between the run and the libcurl program: cookie
// values carry the site's request counter, so only their names count.
std::vector<std::string> request_log(const qm::FakeSite& site) {
  std::vector<std::string> out;
  for (const qm::FakeRequest& r : site.requests()) {
    std::string names;
    for (std::size_t at = 0; at < r.cookie.size();) {
      const std::size_t eq = std::min(r.cookie.find('=', at), r.cookie.size());
      names += r.cookie.substr(at, eq - at) + ";";
      const std::size_t next = r.cookie.find("; ", eq);
      at = next == std::string::npos ? r.cookie.size() : next + 2;
    }
    out.push_back(r.host + " " + r.path + "?" + r.query + " cookies " + names);
  }
  return out;
}

void minimal_libcurl(benchmark::State& state, bool defaults, bool threads) {
  SiteFixture fixture;
  curl_global_init(CURL_GLOBAL_DEFAULT);
  MinimalClient client(fixture.site.route(), defaults);
  const std::string host = qm::SITE_HOST;
  const std::string next = qm::gbk_from_utf8("下一页").str();
  const std::string left = "<a href=\"http://" + host + "/question/";
  const std::string right = ".html\"";
  const std::string title_left = "/><title>";
  const std::string title_right = "_Pelquor</title>";
  std::unique_ptr<char, CurlDeleter> word(curl_easy_escape(nullptr, kKeyword, 0));
  // What one run asks of the site, to hold the program to the same.
  std::vector<std::string> run_log;
  if (!defaults) {
    HeadlessWindow window;
    qm::collection_run(window);
    run_log = request_log(fixture.site);
    fixture.site.clear_requests();
  }
  for (auto _ : state) {
    int titles = 0;
    for (int pn = 0;; pn += 10) {
      const std::string search = "http://" + host + "/search?lm=0&rn=10&pn=" + std::to_string(pn) +
                                 "&fr=search&ie=gbk&word=" + word.get();
      const std::string probe = on_thread(threads, [&] { return client.result_page(search); });
      const std::string page = on_thread(threads, [&] { return client.result_page(search); });
      for (std::size_t at = page.find(left); at != std::string::npos; at = page.find(left, at)) {
        at += left.size();
        const std::size_t end = page.find(right, at);
        if (end == std::string::npos) break;
        const std::string url = "http://" + host + "/question/" + page.substr(at, end - at) + ".html";
        const std::string question = on_thread(threads, [&] { return client.question_page(url); });
        const std::size_t t = question.find(title_left);
        if (t != std::string::npos && question.find(title_right, t) != std::string::npos) ++titles;
        client.drop_cookies();
      }
      client.drop_cookies();
      if (probe.find(next) == std::string::npos) break;
    }
    if (titles != kPages * 10) state.SkipWithError("wrong number of titles");
    if (!run_log.empty()) {  // checked once, on the first pass
      if (request_log(fixture.site) != run_log) state.SkipWithError("the requests differ from the run's");
      run_log.clear();
    }
    fixture.site.clear_requests();
  }
  curl_global_cleanup();
}
void BM_MinimalLibcurl(benchmark::State& state) { minimal_libcurl(state, false, false); }
BENCHMARK(BM_MinimalLibcurl)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_MinimalLibcurlThreadPerRequest(benchmark::State& state) {
  minimal_libcurl(state, false, true);
}
BENCHMARK(BM_MinimalLibcurlThreadPerRequest)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_MinimalLibcurlDefaultHeaders(benchmark::State& state) {
  minimal_libcurl(state, true, false);
}
BENCHMARK(BM_MinimalLibcurlDefaultHeaders)->Unit(benchmark::kMillisecond)->UseRealTime();

// Appending n titles to a headless results box, as a run does.
void BM_AppendTitles(benchmark::State& state) {
  const qm::Text line = qm::gbk_from_utf8("笔记本电脑开机以后风扇狂转屏幕不亮怎么办\r\n");
  for (auto _ : state) {
    HeadlessWindow window;
    for (int64_t i = 0; i < state.range(0); ++i) window.append_results(line);
    benchmark::DoNotOptimize(window.results);
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_AppendTitles)->RangeMultiplier(10)->Range(100, 100000)->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
