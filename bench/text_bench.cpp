// The text primitives over page-sized inputs. Each search walks the text once: the
// complexity fits below should come out as O(N).
#include <benchmark/benchmark.h>

#include <string>

#include "text/text.h"

namespace {

// A GBK page of about `size` bytes, shaped like a lookup answer, with the answer at its end.
std::string gbkPage(std::size_t size) {
    const std::string row =
        "<tr><td class=\"ip\">202.96.134.133</td><td>广东省深圳市 电信</td></tr>\r\n";
    std::string page = "<html><head><title>查询结果</title></head><body><table>\r\n";
    while (page.size() + row.size() < size) page += row;
    page += "<li>本站主数据：广东省深圳市 电信</li></table></body></html>";
    return page;
}

void BM_findText(benchmark::State& state) {
    const std::string page = gbkPage(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(findText(page, "本站主数据："));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_findText)->Arg(200 << 10)->RangeMultiplier(4)->Range(64 << 10, 4 << 20)->Complexity(benchmark::oN);

void BM_findTextIgnoreCase(benchmark::State& state) {
    const std::string page = gbkPage(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(findText(page, "</LI>", 1, true));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_findTextIgnoreCase)->Arg(200 << 10);

// The pattern that makes a naive search quadratic: a long near-match at every position.
void BM_findTextWorstCase(benchmark::State& state) {
    const std::string text(static_cast<std::size_t>(state.range(0)), 'a');
    const std::string sub = std::string(1000, 'a') + "b";
    for (auto _ : state) benchmark::DoNotOptimize(findText(text, sub));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_findTextWorstCase)->RangeMultiplier(4)->Range(64 << 10, 4 << 20)->Complexity(benchmark::oN);

void BM_getTextBetween(benchmark::State& state) {
    const std::string page = gbkPage(200 << 10);
    for (auto _ : state) benchmark::DoNotOptimize(getTextBetween(page, "本站主数据：", "</li>"));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_getTextBetween);

void BM_getAllTextsBetween(benchmark::State& state) {
    std::string page = "<ul>";
    for (int i = 0; i < state.range(0); ++i)
        page += "<li> 61.135." + std::to_string(i % 256) + ".0 - 61.135." +
                std::to_string(i % 256) + ".255 上海市 电信 </li>\r\n";
    page += "</ul>";
    TextList list;
    for (auto _ : state) benchmark::DoNotOptimize(getAllTextsBetween(page, "<li>", "</li>", list));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_getAllTextsBetween)->RangeMultiplier(4)->Range(1000, 64000)->Complexity(benchmark::oN);

void BM_utf8ToGbk(benchmark::State& state) {
    const std::string unit = reinterpret_cast<const char*>(u8"<td>广东省深圳市 电信 ADSL</td>\r\n");
    std::string page;
    while (page.size() < static_cast<std::size_t>(state.range(0))) page += unit;
    for (auto _ : state) benchmark::DoNotOptimize(utf8ToGbk(page));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_utf8ToGbk)->Arg(1 << 20);

void BM_gbkToUtf8(benchmark::State& state) {
    const std::string page = gbkPage(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(gbkToUtf8(page));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_gbkToUtf8)->Arg(1 << 20);

void BM_replaceAndSplit(benchmark::State& state) {
    const std::string page = gbkPage(200 << 10);
    for (auto _ : state) {
        benchmark::DoNotOptimize(replaceText(page, "电信", "联通"));
        benchmark::DoNotOptimize(splitText(page, "\r\n"));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()) * 2);
}
BENCHMARK(BM_replaceAndSplit);

void BM_trimAndRemoveSpaces(benchmark::State& state) {
    std::string page = "　 ";
    page += gbkPage(200 << 10);
    page += " 　";
    for (auto _ : state) {
        benchmark::DoNotOptimize(trimSpaces(page));
        benchmark::DoNotOptimize(removeAllSpaces(page));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()) * 2);
}
BENCHMARK(BM_trimAndRemoveSpaces);

}  // namespace
