// Speed of the steps that a captured page goes through after the JSON
// reading, over a page of two million code units shaped like the host-run
// benchmark's page (escaped quotation marks and line breaks, an umlaut every
// few dozen characters): the unescaping, and the UTF-8 encoding for the HTML
// file. Every figure counts the page's code units per second.
//
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DPELLIPORT_BENCHMARKS=ON
//   cmake --build build/bench --target page_text_benchmark && build/bench/import/page_text_benchmark
#include <benchmark/benchmark.h>

#include <string>

#include "import/PageText.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

const std::u16string& Page() {
  static const std::u16string page = [] {
    const std::u16string block = U16(
        "<div class=\\\"section\\\"><h2>Berufserfahrung</h2><p>Leitung der Qualitätssicherung "
        "für große Kunden, München</p></div>\\n");
    std::u16string text;
    while (text.size() < 2'000'000) text += block;
    return text;
  }();
  return page;
}

void BM_UnescapeCapturedHtml(benchmark::State& state) {
  std::u16string html;
  for (auto _ : state) {
    state.PauseTiming();
    html = Page();
    state.ResumeTiming();
    UnescapeCapturedHtml(html);
    benchmark::DoNotOptimize(html.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * Page().size()));
}

void BM_EncodeUtf8InPieces(benchmark::State& state) {
  // As the HTML file is written: pieces of 32,768 code units.
  const std::u16string_view page = Page();
  for (auto _ : state) {
    for (std::size_t start = 0; start < page.size();) {
      const std::size_t end = PieceEnd(page, start, 32'768);
      benchmark::DoNotOptimize(EncodeUtf8(page.substr(start, end - start)).data());
      start = end;
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}

BENCHMARK(BM_UnescapeCapturedHtml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeUtf8InPieces)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pelliport

BENCHMARK_MAIN();
