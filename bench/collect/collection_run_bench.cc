// A whole collection run against the fake site on loopback (20 result pages
// of 10 questions), next to a minimal libcurl program making the same
// requests; and the cost of appending titles to a results box.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

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

// The same request sequence with plain libcurl: a fresh easy handle per
// request, result pages in HTTP/1.0, ids found by a plain search, no
// cookie store.
struct CurlDeleter {
  void operator()(CURL* c) const noexcept { curl_easy_cleanup(c); }
  void operator()(curl_slist* l) const noexcept { curl_slist_free_all(l); }
  void operator()(char* p) const noexcept { curl_free(p); }
};

std::size_t collect_body(char* data, std::size_t size, std::size_t n, void* out) {
  static_cast<std::string*>(out)->append(data, size * n);
  return size * n;
}

std::string curl_get_here(const std::string& url, curl_slist* route, bool http10) {
  std::unique_ptr<CURL, CurlDeleter> easy(curl_easy_init());
  std::string body;
  curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_CONNECT_TO, route);
  curl_easy_setopt(easy.get(), CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
  curl_easy_setopt(easy.get(), CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
  if (http10) curl_easy_setopt(easy.get(), CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, collect_body);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &body);
  curl_easy_perform(easy.get());
  return body;
}

// With `threads`, every request runs on a thread of its own, as the run's
// exchanges do, to show what that costs on this machine.
std::string curl_get(const std::string& url, curl_slist* route, bool http10, bool threads) {
  if (!threads) return curl_get_here(url, route, http10);
  std::string body;
  std::thread worker([&] { body = curl_get_here(url, route, http10); });
  worker.join();
  return body;
}

void minimal_libcurl(benchmark::State& state, bool threads) {
  SiteFixture fixture;
  curl_global_init(CURL_GLOBAL_DEFAULT);
  std::unique_ptr<curl_slist, CurlDeleter> route(curl_slist_append(nullptr, fixture.site.route().c_str()));
  const std::string host = qm::SITE_HOST;
  const std::string next = qm::gbk_from_utf8("下一页").str();
  const std::string left = "<a href=\"http://" + host + "/question/";
  const std::string right = ".html\"";
  const std::string title_left = "/><title>";
  const std::string title_right = "_Pelquor</title>";
  std::unique_ptr<char, CurlDeleter> word(curl_easy_escape(nullptr, kKeyword, 0));
  for (auto _ : state) {
    int titles = 0;
    for (int pn = 0;; pn += 10) {
      const std::string search = "http://" + host + "/search?lm=0&rn=10&pn=" + std::to_string(pn) +
                                 "&fr=search&ie=gbk&word=" + word.get();
      const std::string probe = curl_get(search, route.get(), true, threads);
      const std::string page = curl_get(search, route.get(), true, threads);
      for (std::size_t at = page.find(left); at != std::string::npos; at = page.find(left, at)) {
        at += left.size();
        const std::size_t end = page.find(right, at);
        if (end == std::string::npos) break;
        const std::string question =
            curl_get("http://" + host + "/question/" + page.substr(at, end - at) + ".html", route.get(), false, threads);
        const std::size_t t = question.find(title_left);
        if (t != std::string::npos && question.find(title_right, t) != std::string::npos) ++titles;
      }
      if (probe.find(next) == std::string::npos) break;
    }
    if (titles != kPages * 10) state.SkipWithError("wrong number of titles");
    fixture.site.clear_requests();
  }
  curl_global_cleanup();
}
void BM_MinimalLibcurl(benchmark::State& state) { minimal_libcurl(state, false); }
BENCHMARK(BM_MinimalLibcurl)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_MinimalLibcurlThreadPerRequest(benchmark::State& state) { minimal_libcurl(state, true); }
BENCHMARK(BM_MinimalLibcurlThreadPerRequest)->Unit(benchmark::kMillisecond)->UseRealTime();

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
