#include "bench/WholeCheck.h"

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "bench/PeakMemory.h"
#include "pkgcheck/report/Report.h"

namespace bench {

TempPackage::TempPackage() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "pkgcheck-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    dir_ = pattern;
}

TempPackage::~TempPackage() { std::filesystem::remove_all(dir_); }

std::size_t TempPackage::Write(const std::string& name, std::string_view bytes) const {
    const auto path = dir_ / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes.size();
}

void MeasureWholeCheck(benchmark::State& state, const pkgcheck::Options& options,
                       std::size_t inputBytes, bool json,
                       const std::function<bool(const pkgcheck::Report&)>& acceptable) {
    const launcher::CodePage cp = launcher::CodePage::SingleByte();
    std::size_t peak = 0;
    std::size_t written = 0;
    for (auto _ : state) {
        // Every run starts with the memory a new process has: none touched.
        // Otherwise blocks under the C library's mmap threshold come back
        // already touched, blocks over it never do, and sizes on either side
        // of it would not compare.
        state.PauseTiming();
        malloc_trim(0);
        state.ResumeTiming();
        PeakMemory::Reset();
        {
            const pkgcheck::Report report =
                pkgcheck::RunCheck(options, cp, "1252", [] { return pkgcheck::DeviceList(); });
            const pkgcheck::Output count = [&](std::string_view block) { written += block.size(); };
            if (json)
                pkgcheck::FormatJson(report, count);
            else
                pkgcheck::FormatText(report, count);
            if (acceptable && !acceptable(report))
                state.SkipWithError("the check did not give the report expected");
        }
        peak = std::max(peak, PeakMemory::PeakAboveStart());
    }
    benchmark::DoNotOptimize(written);
    state.counters["input_MB"] = static_cast<double>(inputBytes) / 1e6;
    state.counters["peak/input"] = static_cast<double>(peak) / static_cast<double>(inputBytes);
    state.SetComplexityN(state.range(0));
}

}  // namespace bench
