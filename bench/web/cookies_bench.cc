// Clearing a site: the store holds 20 cookies of the host (half of them for
// its root domain) and a few of other hosts; one iteration writes them and
// clears the site. The writes alone are measured too, so the clearing's own
// cost is the difference.

#include <benchmark/benchmark.h>

#include <string>

#include "web/web.h"

namespace {

constexpr int kSiteCookies = 20;

void fill_store() {
  for (int i = 0; i < kSiteCookies; ++i) {
    const std::string name = "c" + std::to_string(i);
    const char* data = i % 2 == 0 ? "value-of-some-length; path=/"
                                  : "value-of-some-length; path=/; domain=.pelquor.com";
    qm::inet_set_cookie("http://wenda.pelquor.com", qm::Text(name), data);
  }
  for (int i = 0; i < 5; ++i) {
    qm::inet_set_cookie("http://other.example", qm::Text("o" + std::to_string(i)), "v; path=/");
  }
}

void BM_WriteTwentyCookies(benchmark::State& state) {
  qm::inet_clear_all_cookies();
  for (auto _ : state) {
    fill_store();
    state.PauseTiming();
    qm::inet_clear_all_cookies();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_WriteTwentyCookies)->Unit(benchmark::kMicrosecond);

void BM_ClearSiteOfTwentyCookies(benchmark::State& state) {
  qm::inet_clear_all_cookies();
  for (auto _ : state) {
    state.PauseTiming();
    fill_store();
    state.ResumeTiming();
    qm::cookie_clear_site("wenda.pelquor.com");
    state.PauseTiming();
    if (!qm::cookie_get("wenda.pelquor.com").empty()) state.SkipWithError("cookies left behind");
    qm::inet_clear_all_cookies();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ClearSiteOfTwentyCookies)->Unit(benchmark::kMicrosecond);

void BM_ClearEmptySite(benchmark::State& state) {
  qm::inet_clear_all_cookies();
  for (auto _ : state) qm::cookie_clear_site("wenda.pelquor.com");
}
BENCHMARK(BM_ClearEmptySite)->Unit(benchmark::kMicrosecond);

// A site refreshing the cookies it holds on every response, as the fake
// site's host and domain cookies are for every question: each write
// replaces a cookie the store has, among 20 of the site's. The per-domain
// bound must not make every such write list the store.
void BM_ReplaceCookie(benchmark::State& state) {
  qm::inet_clear_all_cookies();
  fill_store();
  for (auto _ : state) {
    qm::inet_set_cookie("http://wenda.pelquor.com", "c0", "value-of-some-length; path=/");
  }
}
BENCHMARK(BM_ReplaceCookie)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
