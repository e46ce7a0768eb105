// One exchange against a loopback server: the exchange worker, the timed
// fetch and the result-page GET, each next to a bare libcurl GET of the same
// page in the same run. Figures in bench/web/FIGURES-exchange.md.

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <memory>
#include <string>

#include "testsupport/servers.h"
#include "web/web.h"

namespace {

// A page the size of a question page.
constexpr std::size_t kPageBytes = 20 * 1024;

qm::testsupport::HttpServer& server() {
  static qm::testsupport::HttpServer instance([](httplib::Server& s) {
    s.Get("/page", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(kPageBytes, 'p'), "text/html");
    });
  });
  return instance;
}

std::size_t append(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

// The baseline: a fresh easy handle and connection per GET, nothing else.
void BM_BareCurlGet(benchmark::State& state) {
  const std::string url = server().url("/page");
  curl_global_init(CURL_GLOBAL_DEFAULT);
  for (auto _ : state) {
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), &curl_easy_cleanup);
    std::string body;
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &append);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &body);
    curl_easy_perform(easy.get());
    if (body.size() != kPageBytes) state.SkipWithError("short page");
    benchmark::DoNotOptimize(body);
  }
}
BENCHMARK(BM_BareCurlGet)->UseRealTime();

void BM_ExchangeWorker(benchmark::State& state) {
  qm::ExchangeRecord record;
  record.slots[0] = qm::ByteString(server().url("/page"));
  record.slots[1] = qm::ByteString(std::string("GET"));
  record.slots[6] = qm::ByteString(qm::gbk_from_utf8("真"));
  for (auto _ : state) {
    qm::HandoffStream stream;
    stream.write_record(record);
    qm::web_exchange_worker(stream);
    stream.rewind();
    const auto back = stream.read_record();
    if (!back || back->slots[0].size() != kPageBytes) state.SkipWithError("short page");
  }
}
BENCHMARK(BM_ExchangeWorker)->UseRealTime();

void BM_TimedFetch(benchmark::State& state) {
  const qm::Text url(server().url("/page"));
  for (auto _ : state) {
    const qm::ByteString page = qm::web_fetch_page(url, 0);
    if (page.size() != kPageBytes) state.SkipWithError("short page");
  }
}
BENCHMARK(BM_TimedFetch)->UseRealTime();

void BM_PlainGet(benchmark::State& state) {
  const qm::Text url(server().url("/page"));
  for (auto _ : state) {
    const qm::ByteString page = qm::inet_get_plain(url);
    if (page.size() != kPageBytes) state.SkipWithError("short page");
  }
}
BENCHMARK(BM_PlainGet)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
