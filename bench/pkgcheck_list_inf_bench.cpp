// What a package builder waits for with a long key.ini or a big INF: the
// whole check of a generated package, files read and report written, with
// the other inputs small. Each case reports its fitted complexity and the
// most heap memory held at once per byte of the package ("peak/input").

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "bench/WholeCheck.h"
#include "pkgcheck/check/Check.h"

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

// key.ini and the INF given, with an installer tool beside them.
class Package {
public:
    Package(const std::string& list, const std::string& inf)
        : bytes_(files_.Write("key.ini", list) + files_.Write("install.exe", bench::ToolImage()) +
                 files_.Write("drv/stordrv.inf", inf)) {}

    std::string dir() const { return files_.Dir(); }
    std::size_t bytes() const { return bytes_; }

private:
    bench::TempPackage files_;
    std::size_t bytes_;
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
    const Package& package = PackageFor(kind, static_cast<std::size_t>(state.range(0)));
    pkgcheck::Options options;
    options.packageDir = package.dir();
    bench::MeasureWholeCheck(state, options, package.bytes(), json);
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
