// The whole check against a device file of many names: reading and sorting
// the names, the launcher's replay over them and the report of every name.
// Time should grow linearly, and the memory held at the peak should stay a
// small multiple of the device file's size ("peak/input").

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/PeakMemory.h"
#include "pkgcheck/Check.h"
#include "pkgcheck/Report.h"

namespace pkgcheck {
namespace {

namespace fs = std::filesystem;

// A package with a short key.ini and INF in a directory of its own, gone at
// the end of the program.
class Package {
public:
    // `more` entries that match no device come after the two that do.
    explicit Package(int more) {
        std::string pattern = (fs::temp_directory_path() / "pkgcheck-bench-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        std::string list = "[SupportedIDs]\r\nid1=VEN_8086&DEV_2922\r\nid2=VEN_1002&DEV_4380\r\n";
        for (int i = 0; i < more; ++i)
            list += "id=" +
                    SubkeyName(0xF000u + static_cast<unsigned>(i), 0x1234, 0, 0, 0).substr(0, 17) +
                    "\r\n";
        Write("key.ini", list);
        listBytes_ = list.size();
        Write("install.exe", "MZ");
        fs::create_directories(dir_ / "drv");
        Write("drv/stordrv.inf",
              "[Manufacturer]\r\nM=Models,NTx86.5.1\r\n[Models.NTx86.5.1]\r\n"
              "D=Inst,PCI\\VEN_8086&DEV_2922\r\nD=Inst,PCI\\VEN_1002&DEV_4380\r\n");
    }
    ~Package() { fs::remove_all(dir_); }

    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::string Dir() const { return dir_.string(); }
    std::size_t ListBytes() const { return listBytes_; }

private:
    fs::path dir_;
    std::size_t listBytes_ = 0;
};

const Package& ShortList() {
    static const Package package(0);
    return package;
}

const Package& LongList() {
    static const Package package(1000);
    return package;
}

// `count` distinct subkey names in no order, one of them supported.
std::size_t WriteDeviceFile(const std::string& path, std::size_t count) {
    std::ofstream out(path, std::ios::binary);
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < count; ++i) {
        // An odd multiplier permutes the 32-bit values, so every name differs.
        const auto mixed = static_cast<std::uint32_t>(i * 2654435761u);
        unsigned vendor = (mixed >> 16) | 0x1000u;
        if (vendor == 0x8086 || vendor == 0x1002) vendor ^= 1;
        const std::string name = i == count / 2 ? "VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02"
                                                : SubkeyName(vendor, 0x2000 + (i & 0xFFF),
                                                             mixed & 0xFFFF, mixed >> 16, i & 0xFF);
        out << name << "\r\n";
        bytes += name.size() + 2;
    }
    return bytes;
}

void WholeCheck(benchmark::State& state, const Package& package, bool json) {
    const std::string file = package.Path("devices.txt");
    // What the check reads: the device file and key.ini.
    const std::size_t input =
        WriteDeviceFile(file, static_cast<std::size_t>(state.range(0))) + package.ListBytes();
    Options options;
    options.packageDir = package.Dir();
    options.devicesFiles = {file};
    options.codePage = 1252;
    const launcher::CodePage cp = launcher::CodePage::SingleByte();
    std::size_t peak = 0;
    std::size_t written = 0;
    for (auto _ : state) {
        // Every run starts with the memory a new process has: none touched.
        // Otherwise blocks under the C library's mmap threshold come back
        // already touched, blocks over it never do, and the sizes on either
        // side of it would not compare.
        state.PauseTiming();
        malloc_trim(0);
        state.ResumeTiming();
        bench::PeakMemory::Reset();
        {
            const Report report = RunCheck(options, cp, "1252", [] { return DeviceList(); });
            // As pkgcheck writes its report: a block at a time.
            const Output count = [&](std::string_view block) { written += block.size(); };
            if (json)
                FormatJson(report, count);
            else
                FormatText(report, count);
            if (!report.errors.empty() || !report.dryRun || report.dryRun->command.empty())
                state.SkipWithError("the check did not choose the supported device");
        }
        peak = std::max(peak, bench::PeakMemory::PeakAboveStart());
    }
    benchmark::DoNotOptimize(written);
    state.counters["input_MB"] = static_cast<double>(input) / 1e6;
    state.counters["peak/input"] = static_cast<double>(peak) / static_cast<double>(input);
    state.SetComplexityN(state.range(0));
}

void BM_DeviceNamesText(benchmark::State& state) { WholeCheck(state, ShortList(), false); }
void BM_DeviceNamesJson(benchmark::State& state) { WholeCheck(state, ShortList(), true); }
// A thousand entries: each name still costs the same, not a thousand times
// as much.
void BM_DeviceNamesLongList(benchmark::State& state) { WholeCheck(state, LongList(), false); }

#define DEVICE_NAME_COUNTS Arg(10000)->Arg(30000)->Arg(100000)->Arg(300000)->Arg(1000000)

BENCHMARK(BM_DeviceNamesText)
    ->DEVICE_NAME_COUNTS->MinTime(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeviceNamesJson)
    ->DEVICE_NAME_COUNTS->MinTime(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeviceNamesLongList)
    ->DEVICE_NAME_COUNTS->MinTime(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pkgcheck
