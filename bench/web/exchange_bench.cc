// One exchange against a loopback server: the exchange worker, the timed
// fetch and the result-page GET, each next to a bare libcurl GET of the same
// page in the same run. Figures in bench/README.md.

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <memory>
#include <string>

#include "testsupport/servers.h"
#include "web/web.h"

namespace {

// /page?kb=N: a page of N KiB. 20 KiB is the size of a question page.
qm::testsupport::HttpServer& server() {
  static qm::testsupport::HttpServer instance([](httplib::Server& s) {
    s.Get("/page", [](const httplib::Request& req, httplib::Response& res) {
      const auto kb = std::stoul(req.get_param_value("kb"));
      res.set_content(std::string(kb * 1024, 'p'), "text/html");
    });
  });
  return instance;
}

std::string page_path(const benchmark::State& state) {
  return "/page?kb=" + std::to_string(state.range(0));
}

std::size_t page_bytes(const benchmark::State& state) {
  return static_cast<std::size_t>(state.range(0)) * 1024;
}

std::size_t append(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

// The baseline: a fresh easy handle and connection per GET, nothing else.
void BM_BareCurlGet(benchmark::State& state) {
  const std::string url = server().url(page_path(state));
  const std::size_t want = page_bytes(state);
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
    if (body.size() != want) state.SkipWithError("short page");
    benchmark::DoNotOptimize(body);
  }
}
BENCHMARK(BM_BareCurlGet)->Arg(20)->Arg(1024)->UseRealTime();

void BM_ExchangeWorker(benchmark::State& state) {
  qm::ExchangeRecord record;
  record.slots[0] = qm::ByteString(server().url(page_path(state)));
  const std::size_t want = page_bytes(state);
  record.slots[1] = qm::ByteString(std::string("GET"));
  record.slots[6] = qm::ByteString(qm::gbk_from_utf8("真"));
  for (auto _ : state) {
    qm::HandoffStream stream;
    stream.write_record(record);
    qm::web_exchange_worker(stream);
    stream.rewind();
    const auto back = stream.read_record();
    if (!back || back->slots[0].size() != want) state.SkipWithError("short page");
  }
}
BENCHMARK(BM_ExchangeWorker)->Arg(20)->Arg(1024)->UseRealTime();

void BM_TimedFetch(benchmark::State& state) {
  const qm::Text url(server().url(page_path(state)));
  const std::size_t want = page_bytes(state);
  for (auto _ : state) {
    const qm::ByteString page = qm::web_fetch_page(url, 0);
    if (page.size() != want) state.SkipWithError("short page");
  }
}
BENCHMARK(BM_TimedFetch)->Arg(20)->Arg(1024)->UseRealTime();

void BM_PlainGet(benchmark::State& state) {
  const qm::Text url(server().url(page_path(state)));
  const std::size_t want = page_bytes(state);
  for (auto _ : state) {
    const qm::ByteString page = qm::inet_get_plain(url);
    if (page.size() != want) state.SkipWithError("short page");
  }
}
BENCHMARK(BM_PlainGet)->Arg(20)->Arg(1024)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
