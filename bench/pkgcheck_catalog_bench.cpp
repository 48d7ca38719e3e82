// The catalog check on a package whose INF copies N files: the whole check
// and report of a package with a catalog of N + 1 members (the files and the
// INF), each file hashed and looked up once.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/WholeCheck.h"
#include "pkgcheck/catalog/Sha1.h"
#include "pkgcheck/check/Check.h"
#include "tests/pkgcheck/CatalogWriter.h"
#include "tests/pkgcheck/Fixtures.h"

namespace {

using pkgcheck::testing::CatalogEntry;

std::string FileName(std::size_t i) { return "part" + std::to_string(i) + ".dat"; }

class Package {
public:
    explicit Package(std::size_t files) {
        std::string list = "[Files]\r\n";
        std::string sources = "[SourceDisksFiles]\r\n";
        std::vector<CatalogEntry> members;
        for (std::size_t i = 0; i < files; ++i) {
            const std::string bytes = "part " + std::to_string(i) + "\r\n";
            list += FileName(i) + "\r\n";
            sources += FileName(i) + " = 1\r\n";
            bytes_ += files_.Write("drv/" + FileName(i), bytes);
            members.emplace_back(pkgcheck::HexDigest(pkgcheck::Sha1Of(bytes)), FileName(i));
        }
        const std::string inf =
            "[Version]\r\nSignature=\"$Windows NT$\"\r\nCatalogFile=stordrv.cat\r\n\r\n"
            "[Manufacturer]\r\n%Maker% = Models, NTx86, NTamd64\r\n\r\n"
            "[Models.NTx86]\r\n%Desc% = Install, PCI\\VEN_8086&DEV_2922\r\n\r\n"
            "[Models.NTamd64]\r\n%Desc% = Install, PCI\\VEN_8086&DEV_2922\r\n\r\n"
            "[Install.NTx86]\r\nCopyFiles = Files\r\n\r\n"
            "[Install.NTamd64]\r\nCopyFiles = Files\r\n\r\n"
            "[SourceDisksNames]\r\n1 = \"Disk 1\"\r\n\r\n" +
            sources + "\r\n" + list +
            "\r\n[Strings]\r\nMaker = \"Maker\"\r\nDesc = \"Storage controller\"\r\n";
        members.emplace_back(pkgcheck::HexDigest(pkgcheck::Sha1Of(inf)), "stordrv.inf");
        bytes_ += files_.Write("key.ini", "[SupportedIDs]\r\nid1=VEN_8086&DEV_2922\r\n") +
                  files_.Write("install.exe", pkgcheck::testing::TinyImage()) +
                  files_.Write("amd64/install.exe", pkgcheck::testing::TinyImage(0x8664, 2, true)) +
                  files_.Write("drv/stordrv.inf", inf) +
                  files_.Write("drv/stordrv.cat", pkgcheck::testing::CatalogBytes(members));
    }

    std::string dir() const { return files_.Dir(); }
    std::size_t bytes() const { return bytes_; }

private:
    bench::TempPackage files_;
    std::size_t bytes_ = 0;
};

void BM_CatalogMembers(benchmark::State& state) {
    const auto files = static_cast<std::size_t>(state.range(0));
    const Package& package = bench::PackageOf<Package>(files);
    pkgcheck::Options options;
    options.packageDir = package.dir();
    bench::MeasureWholeCheck(
        state, options, package.bytes(), false, [files](const pkgcheck::Report& report) {
            // Every file is a member for both architectures, and nothing
            // else is wrong.
            bool whole =
                report.errors.empty() && report.warnings.empty() && report.catalogs.size() == 2;
            for (const pkgcheck::CatalogCheck& c : report.catalogs)
                whole = whole && c.members == files + 1 && c.files.size() == files + 1;
            return whole;
        });
}

BENCHMARK(BM_CatalogMembers)
    ->RangeMultiplier(10)
    ->Range(100, 10000)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

}  // namespace
