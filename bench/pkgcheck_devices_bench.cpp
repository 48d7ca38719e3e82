// The whole check against a device file of many names: reading and sorting
// the names, the launcher's replay over them and the report of every name.
// Time should grow linearly, and the memory held at the peak should stay a
// small multiple of the device file's size ("peak/input").

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "bench/WholeCheck.h"
#include "pkgcheck/check/Check.h"

namespace pkgcheck {
namespace {

// A package with a short key.ini and INF.
class Package {
public:
    // `more` entries that match no device come after the two that do.
    explicit Package(int more) {
        std::string list = "[SupportedIDs]\r\nid1=VEN_8086&DEV_2922\r\nid2=VEN_1002&DEV_4380\r\n";
        for (int i = 0; i < more; ++i)
            list += "id=" +
                    SubkeyName(0xF000u + static_cast<unsigned>(i), 0x1234, 0, 0, 0).substr(0, 17) +
                    "\r\n";
        listBytes_ = files_.Write("key.ini", list);
        files_.Write("install.exe", bench::ToolImage());
        files_.Write("drv/stordrv.inf",
                     "[Manufacturer]\r\nM=Models,NTx86.5.1\r\n[Models.NTx86.5.1]\r\n"
                     "D=Inst,PCI\\VEN_8086&DEV_2922\r\nD=Inst,PCI\\VEN_1002&DEV_4380\r\n");
    }

    std::string Path(const std::string& name) const { return files_.Path(name); }
    std::string Dir() const { return files_.Dir(); }
    std::size_t ListBytes() const { return listBytes_; }

private:
    bench::TempPackage files_;
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
    bench::MeasureWholeCheck(state, options, input, json, [](const Report& report) {
        return report.errors.empty() && report.dryRun && !report.dryRun->command.empty();
    });
}

void BM_DeviceNamesText(benchmark::State& state) { WholeCheck(state, ShortList(), false); }
void BM_DeviceNamesJson(benchmark::State& state) { WholeCheck(state, ShortList(), true); }
// A thousand entries: each name still costs the same, not a thousand times
// as much.
void BM_DeviceNamesLongList(benchmark::State& state) { WholeCheck(state, LongList(), false); }

// Three repetitions of each size, so the fitted complexity rests on more
// than one run of a noisy machine.
void NameCounts(benchmark::internal::Benchmark* b) {
    for (const int count : {10000, 30000, 100000, 300000, 1000000}) b->Arg(count);
    b->MinTime(1)->Repetitions(3)->ReportAggregatesOnly(true)->Complexity();
    b->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_DeviceNamesText)->Apply(NameCounts);
BENCHMARK(BM_DeviceNamesJson)->Apply(NameCounts);
BENCHMARK(BM_DeviceNamesLongList)->Apply(NameCounts);

}  // namespace
}  // namespace pkgcheck
