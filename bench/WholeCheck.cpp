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

namespace {

void Put16(std::string& bytes, std::size_t at, unsigned value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& bytes, std::size_t at, unsigned value) {
    Put16(bytes, at, value & 0xFFFF);
    Put16(bytes, at + 2, value >> 16);
}

}  // namespace

std::string ToolImage() {
    // Field offsets: learn.microsoft.com/windows/win32/debug/pe-format
    constexpr std::size_t kPe = 0x40;
    constexpr std::size_t kOptional = kPe + 4 + 20;
    std::string image(0x200, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    Put32(image, 0x3C, kPe);
    image.replace(kPe, 4, std::string("PE\0\0", 4));
    Put16(image, kPe + 4, 0x14C);            // Machine: i386
    Put16(image, kPe + 4 + 16, 0xE0);        // SizeOfOptionalHeader
    Put16(image, kPe + 4 + 18, 0x0102);      // executable image, 32-bit machine
    Put16(image, kOptional, 0x10B);          // PE32
    Put32(image, kOptional + 16, 0x1000);    // AddressOfEntryPoint
    Put32(image, kOptional + 28, 0x400000);  // ImageBase
    Put32(image, kOptional + 32, 0x1000);    // SectionAlignment
    Put32(image, kOptional + 36, 0x200);     // FileAlignment
    Put16(image, kOptional + 40, 4);         // OS version 4.0
    Put16(image, kOptional + 48, 4);         // subsystem version 4.0
    Put32(image, kOptional + 56, 0x1000);    // SizeOfImage
    Put32(image, kOptional + 60, 0x200);     // SizeOfHeaders
    Put16(image, kOptional + 68, 2);         // Windows GUI
    Put32(image, kOptional + 92, 16);        // NumberOfRvaAndSizes
    return image;
}

void MeasureWholeCheck(benchmark::State& state, const pkgcheck::Options& options,
                       std::size_t inputBytes, bool json,
                       const std::function<bool(const pkgcheck::Report&)>& acceptable) {
    const pkgcheck::CodePageSetting codePage{launcher::CodePage::SingleByte(), 1252, "1252"};
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
                pkgcheck::RunCheck(options, codePage, [] { return pkgcheck::DeviceList(); });
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
