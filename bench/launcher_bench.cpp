// How the two inner loops of a run grow with their input: parsing the list
// text and scanning the device subkeys against the identifiers. Run by hand
// (build/host/bench/launcher_bench); each reports its fitted complexity.

#include <benchmark/benchmark.h>

#include <string>

#include "app/LauncherApp.h"
#include "probes/SupportedIds.h"
#include "tests/unit/FakePlatform.h"

namespace launcher {
namespace {

std::string MakeList(std::size_t bytes) {
    std::string text = "[ids]\r\n";
    for (int i = 0; text.size() < bytes; ++i)
        text += "id" + std::to_string(i) + "=VEN_8086&DEV_" + std::to_string(1000 + i % 9000) +
                "&SUBSYS_00000000\r\n";
    text.resize(bytes);
    return text;
}

void BM_ParseList(benchmark::State& state) {
    const std::string text = MakeList(static_cast<std::size_t>(state.range(0)));
    const CodePage cp = CodePage::SingleByte();
    for (auto _ : state) {
        std::size_t last = 0;
        benchmark::DoNotOptimize(
            ForEachSupportedId(text, cp, [&](std::size_t offset, std::size_t) { last = offset; }));
        benchmark::DoNotOptimize(last);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseList)->RangeMultiplier(2)->Range(640 << 10, 10 << 20)->Complexity(benchmark::oN);

// No subkey matches, so every name is tried against every identifier.
void ScanWithoutMatch(benchmark::State& state, int subkeys, int ids) {
    testing::FakePlatform fake;
    std::string list = "[ids]\r\n";
    for (int i = 0; i < ids; ++i) list += "id=VEN_ABCD&DEV_" + std::to_string(10000 + i) + "\r\n";
    fake.files["C:\\pkg\\key.ini"] = list;
    for (int i = 0; i < subkeys; ++i)
        fake.subkeys.push_back("VEN_8086&DEV_" + std::to_string(1000 + i % 9000) +
                               "&SUBSYS_00000000&REV_0" + std::to_string(i % 10));
    CLauncherApp app(fake);
    app.installDir.Assign("C:\\pkg\\");
    for (auto _ : state) {
        fake.enumeratedIndices.clear();
        benchmark::DoNotOptimize(app.FindSupportedDevice());
    }
}

void BM_ScanSubkeys(benchmark::State& state) {
    ScanWithoutMatch(state, static_cast<int>(state.range(0)), 1000);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ScanSubkeys)
    ->RangeMultiplier(2)
    ->Range(625, 10000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

void BM_ScanIdentifiers(benchmark::State& state) {
    ScanWithoutMatch(state, 10000, static_cast<int>(state.range(0)));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ScanIdentifiers)
    ->RangeMultiplier(2)
    ->Range(125, 1000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace launcher

BENCHMARK_MAIN();
