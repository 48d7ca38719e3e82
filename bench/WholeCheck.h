#pragma once
// What the package benchmarks share: a generated package in a directory of
// its own, and the whole check of it timed as pkgcheck runs it.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "pkgcheck/check/Check.h"

namespace bench {

// A temporary directory, gone with the object.
class TempPackage {
public:
    TempPackage();
    ~TempPackage();
    TempPackage(const TempPackage&) = delete;
    TempPackage& operator=(const TempPackage&) = delete;

    // Writes `bytes` to `name` (which may hold directories) and gives their count.
    std::size_t Write(const std::string& name, std::string_view bytes) const;
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::string Dir() const { return dir_.string(); }

private:
    std::filesystem::path dir_;
};

// The package of `size` made once per run: each size's benchmark times the
// check, not the writing.
template <typename Package>
const Package& PackageOf(std::size_t size) {
    static std::map<std::size_t, std::unique_ptr<Package>> made;
    auto& package = made[size];
    if (!package) package = std::make_unique<Package>(size);
    return *package;
}

// An installer tool that the loaders of 2000 and XP start, as pkgcheck reads
// them: the headers of a 32-bit GUI program for Windows 4.0, no sections and
// no imports. The checks of the rest of the package run behind it.
std::string ToolImage();

// The whole check and its report, text or JSON written out block by block
// as the tool writes them, once an iteration. Sets the counters input_MB and
// peak/input (the most heap memory held at once per input byte) and the
// complexity's N from the state's first argument. A run whose report
// `acceptable` turns down ends the benchmark with an error.
void MeasureWholeCheck(benchmark::State& state, const pkgcheck::Options& options,
                       std::size_t inputBytes, bool json,
                       const std::function<bool(const pkgcheck::Report&)>& acceptable = nullptr);

}  // namespace bench
