// Text extraction on a 1 MiB GBK result page, mostly ASCII markup with
// Chinese text and 1,000 question links: text_find against memmem of the
// same needle, text_between, text_all_between (and its pattern through
// RegexObject); and a 100 MiB text.
//
//   text_bench [benchmark flags]
//   text_bench --write-page=FILE   writes the 1 MiB page for findall_compare.py
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <string>

#include "text/text.h"

namespace {

// 怎样学习编程 / 電腦入门书 (second byte of 腦 is 'X') / 回答：先学基础，再写代码，多做练习。
constexpr const char* kTitles[] = {"\xD4\xF5\xD1\xF9\xD1\xA7\xCF\xB0\xB1\xE0\xB3\xCC",
                                   "\xEB\x8A\xC4\x58\xC8\xEB\xC3\xC5\xCA\xE9"};
constexpr const char* kAnswer =
    "\xBB\xD8\xB4\xF0\xA3\xBA\xCF\xC8\xD1\xA7\xBB\xF9\xB4\xA1\xA3\xAC\xD4\xD9\xD0\xB4\xB4\xFA"
    "\xC2\xEB\xA3\xAC\xB6\xE0\xD7\xF6\xC1\xB7\xCF\xB0\xA1\xA3";
constexpr const char* kLeft = "<a href=\"http://wenda.pelquor.com/question/";
constexpr const char* kRight = ".html\"";
// At the end of the page only: every search reads the whole page.
constexpr const char* kPagerLeft = "<div class=\"pager\"><a href=\"/search?word=";
constexpr const char* kPagerRight = "</a></div>";

std::string make_page() {
  std::string page = "<html><head><meta charset=\"gbk\"><title>x</title></head><body>\n";
  for (int i = 0; i < 1000; ++i) {
    page += "<div class=\"result-item\" data-rank=\"" + std::to_string(i) + "\">\n<dl><dt>";
    page += std::string(kLeft) + std::to_string(1000000 + 7 * i) + kRight + " target=\"_blank\">";
    page += kTitles[i % 2];
    page += "</a></dt>\n<dd class=\"answer\"><span class=\"meta\">2026-12-11</span>";
    for (int k = 0; k < 3; ++k) page += kAnswer;
    page += "</dd>\n<dd class=\"footer\"><span class=\"votes\">12</span>"
            "<a class=\"user\" href=\"http://wenda.pelquor.com/user/u";
    page += std::to_string(i) + ".html\">user</a></dd></dl>\n";
    page += "<script type=\"text/javascript\">var item_" + std::to_string(i) +
            " = {\"shown\": true, \"pos\": " + std::to_string(i) + "};</script>\n";
    // Padding markup so that a block is about 1 KiB.
    while (page.size() < static_cast<std::size_t>(i + 1) * 1040) {
      page += "<div class=\"spacer\" style=\"height:1px;margin:0;padding:0\"></div>\n";
    }
  }
  page += std::string(kPagerLeft) + "x&pn=10\">" + "\xCF\xC2\xD2\xBB\xD2\xB3" + kPagerRight;  // 下一页
  page += "\n</body></html>\n";
  return page;
}

const qm::Text& page() {
  static const qm::Text text(make_page());
  return text;
}

void BM_Memmem(benchmark::State& state) {
  const std::string_view hay = page().view();
  for (auto _ : state) {
    const void* hit = memmem(hay.data(), hay.size(), kPagerLeft, std::strlen(kPagerLeft));
    benchmark::DoNotOptimize(hit);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * page().length());
}
BENCHMARK(BM_Memmem);

void BM_TextFind(benchmark::State& state) {
  const bool ignore_case = state.range(0) != 0;
  const qm::Text needle(kPagerLeft);
  int at = 0;
  for (auto _ : state) {
    at = qm::text_find(page(), needle, std::nullopt, ignore_case);
    benchmark::DoNotOptimize(at);
  }
  if (at < 0) state.SkipWithError("marker not found");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * page().length());
}
BENCHMARK(BM_TextFind)->ArgName("ignore_case")->Arg(0)->Arg(1);

void BM_TextBetween(benchmark::State& state) {
  const qm::Text left(kPagerLeft), right(kPagerRight);
  for (auto _ : state) {
    qm::Text between = qm::text_between(page(), left, right);
    benchmark::DoNotOptimize(between);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * page().length());
}
BENCHMARK(BM_TextBetween);

void BM_TextAllBetween(benchmark::State& state) {
  const qm::Text left(kLeft), right(kRight);
  qm::TextList ids;
  for (auto _ : state) {
    benchmark::DoNotOptimize(qm::text_all_between(page(), left, right, &ids));
  }
  if (ids.size() != 1000) state.SkipWithError("expected 1000 identifiers");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * page().length());
  state.counters["matches"] = static_cast<double>(ids.size());
}
BENCHMARK(BM_TextAllBetween)->Unit(benchmark::kMicrosecond);

// The same pattern through RegexObject: the road text_all_between takes for
// markers beyond ASCII or pages that are not plain GBK.
void BM_RegexObjectExecute(benchmark::State& state) {
  const qm::Text pattern = qm::regex_escape_markers(kLeft) + qm::Text("(.*?)") + qm::regex_escape_markers(kRight);
  qm::RegexObject regex;
  for (auto _ : state) benchmark::DoNotOptimize(regex.execute(pattern, page()));
  if (regex.match_count() != 1000) state.SkipWithError("expected 1000 matches");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * page().length());
}
BENCHMARK(BM_RegexObjectExecute)->Unit(benchmark::kMicrosecond);

// The 1 MiB page a hundred times over.
const qm::Text& big_text() {
  static const qm::Text text = [] {
    std::string s;
    s.reserve(static_cast<std::size_t>(page().length()) * 100);
    for (int i = 0; i < 100; ++i) s += page().str();
    return qm::Text(std::move(s));
  }();
  return text;
}

void BM_TextFind100MiB(benchmark::State& state) {
  const qm::Text needle("</html>\n<html>");  // only where two copies meet
  for (auto _ : state) benchmark::DoNotOptimize(qm::text_find_last(big_text(), needle, true));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * big_text().length());
}
BENCHMARK(BM_TextFind100MiB)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_TextAllBetween100MiB(benchmark::State& state) {
  const qm::Text left(kLeft), right(kRight);
  qm::TextList ids;
  for (auto _ : state) benchmark::DoNotOptimize(qm::text_all_between(big_text(), left, right, &ids));
  if (ids.size() != 100000) state.SkipWithError("expected 100000 identifiers");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * big_text().length());
}
BENCHMARK(BM_TextAllBetween100MiB)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  constexpr std::string_view kWrite = "--write-page=";
  if (argc == 2 && std::string_view(argv[1]).substr(0, kWrite.size()) == kWrite) {
    std::ofstream out(std::string(argv[1] + kWrite.size()), std::ios::binary);
    out << page().str();
    return out ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
