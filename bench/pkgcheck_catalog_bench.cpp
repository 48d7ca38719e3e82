// The catalog check on a package whose INF copies N files: the whole check
// and report of a package with a catalog of N + 1 members (the files and the
// INF), each file hashed and looked up once; and the same with the catalog
// signed (by osslsigncode, under a root given with --trust), its signature
// verified as well.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <type_traits>
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

// The package with its catalog signed with SHA-1, as the README shows.
class SignedPackage : public Package {
public:
    explicit SignedPackage(std::size_t files) : Package(files) {
        const std::string catalog = dir() + "/drv/stordrv.cat";
        signing_ = dir() + "-signing";
        const std::string command = std::string(PKGCHECK_SOURCE_DIR) +
                                    "/tests/pkgcheck/sign_catalogs.sh " + catalog + " " + signing_;
        if (std::system(command.c_str()) == 0)
            std::filesystem::copy_file(signing_ + "/sha1.cat", catalog,
                                       std::filesystem::copy_options::overwrite_existing);
    }
    ~SignedPackage() { std::filesystem::remove_all(signing_); }
    SignedPackage(const SignedPackage&) = delete;
    SignedPackage& operator=(const SignedPackage&) = delete;

    std::string root() const { return signing_ + "/root1.pem"; }

private:
    std::string signing_;
};

template <typename Kind>
void MeasureCatalog(benchmark::State& state, bool signed_) {
    const auto files = static_cast<std::size_t>(state.range(0));
    const Kind& package = bench::PackageOf<Kind>(files);
    pkgcheck::Options options;
    options.packageDir = package.dir();
    if constexpr (std::is_same_v<Kind, SignedPackage>) options.trustFiles = {package.root()};
    bench::MeasureWholeCheck(
        state, options, package.bytes(), false, [files, signed_](const pkgcheck::Report& report) {
            // Every file is a member for both architectures, the signature
            // verifies when there is one, and nothing else is wrong.
            bool whole =
                report.errors.empty() && report.warnings.empty() && report.catalogs.size() == 2;
            for (const pkgcheck::CatalogCheck& c : report.catalogs)
                whole = whole && c.members == files + 1 && c.files.size() == files + 1 &&
                        c.verdict.verified == signed_;
            return whole;
        });
}

void BM_SignedCatalogMembers(benchmark::State& state) {
    MeasureCatalog<SignedPackage>(state, true);
}

BENCHMARK(BM_SignedCatalogMembers)
    ->RangeMultiplier(10)
    ->Range(100, 10000)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

void BM_CatalogMembers(benchmark::State& state) { MeasureCatalog<Package>(state, false); }

BENCHMARK(BM_CatalogMembers)
    ->RangeMultiplier(10)
    ->Range(100, 10000)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

}  // namespace
