// What a package builder waits for when the INF copies many files: the
// whole check of a generated package whose install section copies N files,
// each listed in [SourceDisksFiles] and lying in a subfolder of the INF's
// directory, so that every file is looked up as Windows finds it.

#include <benchmark/benchmark.h>

#include <string>

#include "bench/WholeCheck.h"
#include "pkgcheck/check/Check.h"

namespace {

std::string FileName(std::size_t i) { return "part" + std::to_string(i) + ".dat"; }

class Package {
public:
    explicit Package(std::size_t files) {
        std::string list = "[Files]\r\n";
        std::string sources = "[SourceDisksFiles]\r\n";
        for (std::size_t i = 0; i < files; ++i) {
            list += FileName(i) + "\r\n";
            sources += FileName(i) + " = 1,data\r\n";
            bytes_ += files_.Write("drv/disk1/data/" + FileName(i), "x");
        }
        const std::string inf =
            "[Version]\r\nSignature=\"$Windows NT$\"\r\nCatalogFile=stordrv.cat\r\n\r\n"
            "[Manufacturer]\r\n%Maker% = Models, NTx86, NTamd64\r\n\r\n"
            "[Models.NTx86]\r\n%Desc% = Install, PCI\\VEN_8086&DEV_2922\r\n\r\n"
            "[Models.NTamd64]\r\n%Desc% = Install, PCI\\VEN_8086&DEV_2922\r\n\r\n"
            "[Install.NTx86]\r\nCopyFiles = Files\r\n\r\n"
            "[SourceDisksNames]\r\n1 = \"Disk 1\",,,\\disk1\r\n\r\n" +
            sources + "\r\n" + list +
            "\r\n[Strings]\r\nMaker = \"Maker\"\r\nDesc = \"Storage controller\"\r\n";
        bytes_ += files_.Write("key.ini", "[SupportedIDs]\r\nid1=VEN_8086&DEV_2922\r\n") +
                  files_.Write("install.exe", bench::ToolImage()) +
                  files_.Write("drv/stordrv.inf", inf) + files_.Write("drv/stordrv.cat", "catalog");
    }

    std::string dir() const { return files_.Dir(); }
    std::size_t bytes() const { return bytes_; }

private:
    bench::TempPackage files_;
    std::size_t bytes_ = 0;
};

void CopiedFiles(benchmark::State& state, bool json) {
    const auto files = static_cast<std::size_t>(state.range(0));
    const Package& package = bench::PackageOf<Package>(files);
    pkgcheck::Options options;
    options.packageDir = package.dir();
    bench::MeasureWholeCheck(
        state, options, package.bytes(), json, [files](const pkgcheck::Report& report) {
            // The payload has nothing to say (the catalog is a stand-in).
            return report.payload && report.payload->errors.empty() &&
                   report.payload->warnings.empty() && report.payload->files.size() == files;
        });
}

void BM_CopiedFiles(benchmark::State& state) { CopiedFiles(state, false); }
void BM_CopiedFilesJson(benchmark::State& state) { CopiedFiles(state, true); }

void Sizes(benchmark::internal::Benchmark* b) {
    b->RangeMultiplier(10)->Range(1000, 100000)->Complexity()->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_CopiedFiles)->Apply(Sizes);
BENCHMARK(BM_CopiedFilesJson)->Apply(Sizes);

}  // namespace
