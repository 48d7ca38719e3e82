// What a package builder waits for with a long key.ini or a big INF: the
// whole check of a generated package, files read and report written, with
// the other inputs small. Each case reports its fitted complexity and the
// most heap memory held at once per byte of the package ("peak/input").
//
// glibc keeps freed blocks of up to 32 MB mapped, so repeated runs of the
// smaller cases reuse warm memory while the largest map theirs afresh each
// time, and the fitted curve partly measures that. To time every case as a
// fresh process runs it:
//   GLIBC_TUNABLES=glibc.malloc.mmap_threshold=131072 build/bench/bench/pkgcheck_bench

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "bench/PeakMemory.h"
#include "pkgcheck/Check.h"
#include "pkgcheck/Report.h"

namespace {

std::string Hex(std::size_t value, int digits) {
    char text[17];
    std::snprintf(text, sizeof text, "%0*zX", digits, value);
    return text;
}

// A distinct, well-formed device name part for each n.
std::string DeviceId(std::size_t n) {
    return "VEN_8086&DEV_" + Hex(n & 0xFFFF, 4) + "&SUBSYS_" + Hex(n >> 16, 8);
}

class Package {
public:
    Package(const std::string& list, const std::string& inf) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pkgcheck-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        dir_ = pattern;
        Write("key.ini", list);
        Write("install.exe", "MZ");
        Write("drv/stordrv.inf", inf);
        bytes_ = list.size() + inf.size() + 2;
    }
    ~Package() { std::filesystem::remove_all(dir_); }
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    std::string dir() const { return dir_.string(); }
    std::size_t bytes() const { return bytes_; }

private:
    void Write(const std::string& name, const std::string& bytes) const {
        const auto path = dir_ / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    std::filesystem::path dir_;
    std::size_t bytes_ = 0;
};

std::string LongList(std::size_t entries) {
    std::string list = "[SupportedIDs]\r\nid0=VEN_8086\r\n";
    for (std::size_t i = 1; i < entries; ++i)
        list += "id" + std::to_string(i) + "=" + DeviceId(i) + "\r\n";
    return list;
}

// Its vendor-wide compatible ID is held whole by every entry of LongList,
// and covered by the first: the report has no warning line per entry.
const char* const kSmallInf =
    "[Manufacturer]\r\n%Maker% = Models, NTx86\r\n\r\n[Models.NTx86]\r\n"
    "%Desc% = Install, PCI\\VEN_8086&DEV_0001, PCI\\VEN_8086\r\n\r\n"
    "[Strings]\r\nMaker = \"Maker\"\r\nDesc = \"Storage controller\"\r\n";

std::string InfWith(std::size_t models) {
    std::string inf =
        "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=SCSIAdapter\r\n\r\n"
        "[Manufacturer]\r\n%Maker% = Models, NTx86, NTamd64\r\n\r\n[Models.NTx86]\r\n";
    std::string strings = "[Strings]\r\nMaker = \"Maker\"\r\n";
    for (std::size_t i = 0; i < models; ++i) {
        const std::string key = "Dev" + std::to_string(i) + ".Desc";
        inf += "%" + key + "% = Install, PCI\\" + DeviceId(i) + "\r\n";
        strings += key + " = \"Storage controller " + std::to_string(i) + "\"\r\n";
    }
    return inf + "\r\n[Install]\r\nCopyFiles = Driver.Copy\r\n\r\n" + strings;
}

const Package& PackageFor(char kind, std::size_t n) {
    static std::map<std::pair<char, std::size_t>, std::unique_ptr<Package>> made;
    auto& package = made[{kind, n}];
    if (!package)
        package = kind == 'l' ? std::make_unique<Package>(LongList(n), kSmallInf)
                              : std::make_unique<Package>(LongList(2), InfWith(n));
    return *package;
}

void WholeCheck(benchmark::State& state, char kind, bool json) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const Package& package = PackageFor(kind, n);
    pkgcheck::Options options;
    options.packageDir = package.dir();
    const launcher::CodePage cp = launcher::CodePage::SingleByte();
    std::size_t peak = 0;
    for (auto _ : state) {
        bench::PeakMemory::Reset();
        const pkgcheck::Report report =
            pkgcheck::RunCheck(options, cp, "1252", [] { return pkgcheck::DeviceList{}; });
        const std::string out = json ? pkgcheck::FormatJson(report) : pkgcheck::FormatText(report);
        benchmark::DoNotOptimize(out.data());
        peak = std::max(peak, bench::PeakMemory::PeakAboveStart());
    }
    state.counters["input_MB"] = static_cast<double>(package.bytes()) / 1e6;
    state.counters["peak/input"] = static_cast<double>(peak) / static_cast<double>(package.bytes());
    state.SetComplexityN(state.range(0));
}

void BM_ListEntries(benchmark::State& state) { WholeCheck(state, 'l', false); }
void BM_ListEntriesJson(benchmark::State& state) { WholeCheck(state, 'l', true); }
void BM_InfModels(benchmark::State& state) { WholeCheck(state, 'i', false); }
void BM_InfModelsJson(benchmark::State& state) { WholeCheck(state, 'i', true); }

void Sizes(benchmark::internal::Benchmark* b) {
    b->RangeMultiplier(10)->Range(10000, 1000000)->Complexity()->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_ListEntries)->Apply(Sizes);
BENCHMARK(BM_InfModels)->Apply(Sizes);
BENCHMARK(BM_ListEntriesJson)->Apply(Sizes);
BENCHMARK(BM_InfModelsJson)->Apply(Sizes);

}  // namespace
