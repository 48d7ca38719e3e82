#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "pkgcheck/pe/InstallerLoad.h"
#include "pkgcheck/pe/Pe.h"
#include "pkgcheck/pe/SystemExports.h"
#include "tests/pkgcheck/Fixtures.h"
#include "tests/pkgcheck/PeBuilder.h"

namespace pkgcheck {
namespace {

using namespace testing;  // the image builder

const std::vector<PeImport> kImports = {
    {"KERNEL32.dll", {"GetTickCount64", "#5", "ExitProcess"}},
    {"USER32.dll", {"MessageBoxA"}},
};

std::string Imports(const PeFile& pe) {
    std::string text;
    for (const PeImport& i : pe.imports) {
        text += i.dll + ":";
        for (const std::string& f : i.functions) text += " " + f;
        text += ";";
    }
    return text;
}

TEST(ReadPe, ReadsTheHeadersImportsAndExportsTheLoaderReads) {
    Sketch sketch;
    sketch.imports = kImports;
    sketch.exports = {"Alpha", "#7", "Beta"};
    sketch.characteristics = kFileExecutableImage | kFileDll;
    sketch.subsystemVersion[0] = 5;
    sketch.subsystemVersion[1] = 1;
    sketch.osVersion[0] = 6;
    const PeFile pe = ReadPe(BuildPe(sketch));
    ASSERT_TRUE(pe.valid) << pe.problem;
    EXPECT_EQ(pe.machine, kMachineI386);
    EXPECT_FALSE(pe.pe32plus);
    EXPECT_EQ(pe.characteristics, kFileExecutableImage | kFileDll);
    EXPECT_EQ(pe.subsystem, kSubsystemWindowsGui);
    EXPECT_EQ(pe.majorSubsystemVersion * 100 + pe.minorSubsystemVersion, 501);
    EXPECT_EQ(pe.majorOsVersion * 100 + pe.minorOsVersion, 600);
    EXPECT_EQ(Imports(pe), "KERNEL32.dll: GetTickCount64 #5 ExitProcess;USER32.dll: MessageBoxA;");
    EXPECT_EQ(pe.exports, (Strings{"Alpha", "Beta", "#7"}));
    EXPECT_EQ(pe.exportOrdinals, (std::vector<std::uint32_t>{1, 7, 8}));

    sketch.pe32plus = true;
    sketch.machine = kMachineAmd64;
    const PeFile wide = ReadPe(BuildPe(sketch));
    ASSERT_TRUE(wide.valid) << wide.problem;
    EXPECT_TRUE(wide.pe32plus);
    EXPECT_EQ(wide.machine, kMachineAmd64);
    EXPECT_EQ(Imports(wide), Imports(pe));
    EXPECT_EQ(wide.exports, pe.exports);
}

TEST(PeChecksum, SumsWordsWithCarrySkipsTheFieldAndAddsTheLength) {
    // 0xFFFF + 0xFFFF + 0x0001 + 0x00FF (the odd last byte) folds to 0x100.
    EXPECT_EQ(PeChecksum(std::string("\xFF\xFF\xFF\xFF\x01\x00\xFF", 7), 7), 0x100u + 7);
    // With the first four bytes as the checksum field, they do not count.
    const std::string bytes("\x34\x12\x78\x56\x01\x00\xFF", 7);
    EXPECT_EQ(PeChecksum(bytes, bytes.size()), 0x69ACu + 7);
    EXPECT_EQ(PeChecksum(bytes, 0), 0x100u + 7);
    // The stored value does not change the result.
    std::string image = BuildPe(Sketch{});
    const PeFile before = ReadPe(image);
    Put32(image, kOptional + 64, 0x12345678);
    const PeFile after = ReadPe(image);
    EXPECT_EQ(after.checksum, 0x12345678u);
    EXPECT_EQ(after.computedChecksum, before.computedChecksum);
    EXPECT_NE(after.computedChecksum, 0u);
}

// Many import descriptors that all name one long list of functions: the
// tables are small, what they make a reader walk is not.
std::string RepeatedImports(std::size_t descriptors, std::size_t functions) {
    Sketch sketch;
    sketch.imports = {{"A.dll", Strings(functions, "F")}};
    std::string image = BuildPe(sketch);
    const std::size_t dir = kHeadersSize + 16;
    const std::string first = image.substr(dir, 20);
    std::string table;
    for (std::size_t i = 0; i < descriptors; ++i) table += first;
    image += table + std::string(20, '\0');
    const auto size = static_cast<std::uint32_t>(image.size() - kHeadersSize);
    const std::size_t section = kOptional + 224;
    Put32(image, section + 8, size);
    Put32(image, section + 16, size);
    Put32(
        image, kOptional + 104,
        kSectionRva + static_cast<std::uint32_t>(image.size() - kHeadersSize - table.size() - 20));
    return image;
}

struct HostileRow {
    const char* name;
    std::function<void(std::string&)> damage;
    const char* problem;  // part of it
};

TEST(ReadPe, RefusesDamagedFilesWithoutReadingOutsideThem) {
    Sketch sketch;
    sketch.imports = kImports;
    sketch.exports = {"Alpha"};
    const std::string good = BuildPe(sketch);
    const std::size_t section = kOptional + 224;
    const std::size_t importDir = kOptional + 104;
    const std::uint32_t descriptor = kSectionRva + 16;
    auto at = [](std::uint32_t rva) { return kHeadersSize + rva - kSectionRva; };
    const HostileRow rows[] = {
        {"empty", [](std::string& b) { b.clear(); }, "too short"},
        {"not MZ", [](std::string& b) { b[0] = 'Z'; }, "no MZ signature"},
        {"PE offset past the end", [](std::string& b) { Put32(b, 0x3C, 0xFFFFFFF0); },
         "points past the end"},
        {"no PE signature", [](std::string& b) { b[kPeOffset + 1] = 'X'; }, "no PE signature"},
        {"unknown magic", [](std::string& b) { Put16(b, kOptional, 0x107); }, "magic 0x107"},
        {"cut in the optional header", [](std::string& b) { b.resize(kOptional + 50); },
         "optional header is cut short"},
        {"optional header size too small", [](std::string& b) { Put16(b, kFileHeader + 16, 8); },
         "optional header is cut short"},
        {"cut in the directories", [](std::string& b) { b.resize(kOptional + 120); },
         "directories run past"},
        {"65535 sections", [](std::string& b) { Put16(b, kFileHeader + 2, 0xFFFF); },
         "section table runs past"},
        {"import directory far away", [&](std::string& b) { Put32(b, importDir, 0x7FFFFFF0); },
         "import directory at 0x7FFFFFF0"},
        {"DLL name outside", [&](std::string& b) { Put32(b, at(descriptor + 12), 0x00FFFFFF); },
         "DLL's name"},
        {"lookup table outside", [&](std::string& b) { Put32(b, at(descriptor), 0x00FFFFFF); },
         "imported from KERNEL32.dll are listed outside"},
        {"function name outside",
         [&](std::string& b) { Put32(b, at(Get32(b, at(descriptor))), 0x00FFFFF0); },
         "function name imported from KERNEL32.dll"},
        {"name runs to the end of the file",
         [&](std::string& b) {
             b.resize(b.size() - 1);  // "Alpha" loses its terminating zero
             Put32(b, section + 8, static_cast<std::uint32_t>(b.size() - kHeadersSize));
             Put32(b, section + 16, static_cast<std::uint32_t>(b.size() - kHeadersSize));
         },
         "exported name"},
        {"raw data past the end of the file",
         [&](std::string& b) {
             Put32(b, section + 8, 0x7FFFFFFF);
             Put32(b, section + 16, 0x7FFFFFFF);
         },
         "section 1's data runs past the end of the file"},
        {"huge export count",
         [&](std::string& b) { Put32(b, at(Get32(b, kOptional + 96)) + 20, 0xFFFFFFFF); },
         "export tables lie outside"},
        {"sections out of order",
         [&](std::string& b) {
             Put16(b, kFileHeader + 2, 2);
             b.replace(section + 40, 40, b.substr(section, 40));
         },
         "section 2 does not follow"},
    };
    for (const HostileRow& row : rows) {
        std::string bytes = good;
        row.damage(bytes);
        const PeFile pe = ReadPe(bytes);
        EXPECT_FALSE(pe.valid) << row.name;
        EXPECT_NE(pe.problem.find(row.problem), std::string::npos)
            << row.name << ": " << pe.problem;
    }
    const PeFile repeated = ReadPe(RepeatedImports(4000, 4000));
    EXPECT_FALSE(repeated.valid);
    EXPECT_NE(repeated.problem.find("more often than any image does"), std::string::npos)
        << repeated.problem;
    const PeFile fewer = ReadPe(RepeatedImports(3, 4000));
    EXPECT_TRUE(fewer.valid) << fewer.problem;
    EXPECT_EQ(fewer.imports.size(), 3u);
}

TEST(ReadPe, ReadsTheBuiltLauncher) {
    std::ifstream file(PKGCHECK_SOURCE_DIR "/dist/launcher.exe", std::ios::binary);
    if (!file) GTEST_SKIP() << "dist/launcher.exe is built by scripts/build.sh";
    std::ostringstream bytes;
    bytes << file.rdbuf();
    const PeFile pe = ReadPe(bytes.str());
    ASSERT_TRUE(pe.valid) << pe.problem;
    EXPECT_EQ(pe.machine, kMachineI386);
    EXPECT_FALSE(pe.pe32plus);
    EXPECT_EQ(pe.subsystem, kSubsystemWindowsGui);
    Strings dlls;
    for (const PeImport& i : pe.imports) dlls.push_back(i.dll);
    EXPECT_EQ(dlls, (Strings{"ADVAPI32.dll", "KERNEL32.dll", "USER32.dll"}));
}

// What every Windows since 95 exports, as our own tool imports it.
const std::vector<PeImport> kOwnToolImports = {
    {"KERNEL32.dll", {"CreateFileA", "ExitProcess", "GetProcAddress", "LoadLibraryA"}},
    {"USER32.dll", {"MessageBoxA"}},
    {"ADVAPI32.dll", {"RegOpenKeyExA"}},
};

std::string Program(std::vector<PeImport> imports = kOwnToolImports) {
    Sketch sketch;
    sketch.imports = std::move(imports);
    return BuildPe(sketch);
}

std::string Changed(const std::function<void(Sketch&)>& change) {
    Sketch sketch;
    sketch.imports = kOwnToolImports;
    change(sketch);
    return BuildPe(sketch);
}

std::string Dll(Strings exports, std::vector<PeImport> imports = {}) {
    Sketch sketch;
    sketch.characteristics |= kFileDll;
    sketch.exports = std::move(exports);
    sketch.imports = std::move(imports);
    return BuildPe(sketch);
}

struct LoadRow {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;  // the package
    const char* installer;
    Strings findings;       // "E kind file" or "W kind file"
    Strings read;           // empty: only the installer
    const char* says = "";  // part of the first finding's message
    ToolKind kind = ToolKind::X86;
};

TEST(CheckInstallerLoads, ReadsTheToolAndItsDllsAsTheLoadersOf2000AndXpWould) {
    const auto sub = [](int major, int minor) {
        return Changed([=](Sketch& s) {
            s.subsystemVersion[0] = static_cast<std::uint16_t>(major);
            s.subsystemVersion[1] = static_cast<std::uint16_t>(minor);
            s.osVersion[0] = std::min<std::uint16_t>(s.osVersion[0], s.subsystemVersion[0]);
        });
    };
    const std::string helper = Dll({"A"});
    const auto wide = [](std::function<void(Sketch&)> change) {
        return Changed([&](Sketch& s) {
            s.pe32plus = true;
            s.machine = kMachineAmd64;
            s.subsystemVersion[0] = 5;
            s.subsystemVersion[1] = 2;
            change(s);
        });
    };
    const LoadRow rows[] = {
        {"our own tool", {{"install.exe", Program()}}, "install.exe", {}, {}},
        {"spelled in upper case", {{"INSTALL.EXE", Program()}}, "INSTALL.EXE", {}, {"INSTALL.EXE"}},
        {"no PE file",
         {{"install.exe", "MZ but nothing more"}},
         "install.exe",
         {"E installer-not-pe install.exe"},
         {},
         "is not a valid Win32 application"},
        {"import table outside the file",
         {{"install.exe", Program().substr(0, kHeadersSize + 8)}},
         "install.exe",
         {"E installer-not-pe install.exe"},
         {}},
        {"a DLL",
         {{"install.exe", Changed([](Sketch& s) { s.characteristics |= kFileDll; })}},
         "install.exe",
         {"E installer-is-dll install.exe"},
         {}},
        {"x64",
         {{"install.exe", Changed([](Sketch& s) {
               s.pe32plus = true;
               s.machine = kMachineAmd64;
           })}},
         "install.exe",
         {"E installer-pe32plus install.exe"},
         {},
         "Only XP x64"},
        {"ARM",
         {{"install.exe", Changed([](Sketch& s) { s.machine = 0x1C0; })}},
         "install.exe",
         {"E installer-machine install.exe"},
         {}},
        {"native",
         {{"install.exe", Changed([](Sketch& s) { s.subsystem = kSubsystemNative; })}},
         "install.exe",
         {"E installer-subsystem install.exe"},
         {},
         "cannot be run in Win32 mode"},
        {"subsystem 5.0", {{"install.exe", sub(5, 0)}}, "install.exe", {}, {}},
        {"subsystem 5.1",
         {{"install.exe", sub(5, 1)}},
         "install.exe",
         {"W installer-subsystem-version install.exe"},
         {},
         "own version of Windows 2000 SP4 ("},
        {"subsystem 5.2",
         {{"install.exe", sub(5, 2)}},
         "install.exe",
         {"E installer-subsystem-version install.exe"},
         {},
         "own version of Windows 2000 SP4 and XP RTM to SP3 ("},
        {"subsystem 3.0",
         {{"install.exe", sub(3, 0)}},
         "install.exe",
         {"E installer-subsystem-version install.exe"},
         {}},
        {"subsystem 3.10", {{"install.exe", sub(3, 10)}}, "install.exe", {}, {}},
        {"OS version above the subsystem's",
         {{"install.exe", Changed([](Sketch& s) { s.osVersion[0] = 6; })}},
         "install.exe",
         {"W installer-os-version install.exe"},
         {}},
        {"Visual C++ 2010 runtime, linked in",
         {{"install.exe",
           Program({{"KERNEL32.dll", {"EncodePointer", "InitializeSListHead", "DecodePointer"}}})}},
         "install.exe",
         {"W installer-function-missing install.exe", "W installer-function-missing install.exe"},
         {},
         "imports InitializeSListHead from KERNEL32.dll, missing on Windows 2000 SP4 ("},
        {"Vista, the DLL named without extension",
         {{"install.exe", Program({{"kernel32", {"GetTickCount64", "GetTickCount64"}}})}},
         "install.exe",
         {"E installer-function-missing install.exe"},
         {},
         "\"The procedure entry point GetTickCount64 could not be located in the dynamic link "
         "library kernel32.\""},
        {"fiber-local storage: XP x64 has it",
         {{"install.exe", Program({{"KERNEL32.dll", {"FlsAlloc"}}})}},
         "install.exe",
         {"E installer-function-missing install.exe"},
         {},
         "XP RTM to SP3 ("},
        {"runtime DLL not shipped",
         {{"install.exe", Program({{"MSVCR100.dll", {"printf"}}, {"uxtheme.dll", {"X"}}})}},
         "install.exe",
         {"E installer-dll-missing install.exe", "W installer-dll-missing install.exe"},
         {},
         "This application has failed to start because MSVCR100.dll was not found."},
        {"API sets and WinHTTP",
         {{"install.exe", Program({{"api-ms-win-crt-runtime-l1-1-0.dll", {"_initterm"}},
                                   {"WINHTTP.dll", {"X"}}})}},
         "install.exe",
         {"E installer-dll-missing install.exe", "W installer-dll-missing install.exe"},
         {}},
        {"DLLs no table knows, imported by the tool and by a DLL beside it",
         {{"install.exe", Program({{"helper.dll", {"A"}}, {"mystery.dll", {"X"}}})},
          {"helper.dll", Dll({"A"}, {{"ENIGMA", {"Y"}}, {"Comctl32.DLL", {"#17"}}})}},
         "install.exe",
         {"W installer-dll-unknown install.exe", "W installer-dll-unknown helper.dll"},
         {"install.exe", "helper.dll"},
         "imports mystery.dll, which is not beside install.exe"},
        {"runtime DLL shipped",
         {{"install.exe", Program({{"MSVCR100.dll", {"printf"}}})},
          {"msvcr100.dll", Dll({"printf"})}},
         "install.exe",
         {},
         {"install.exe", "msvcr100.dll"}},
        {"shipped DLL lacks exports",
         {{"install.exe", Program({{"helper.dll", {"A", "B", "#1", "#9", "B"}}})},
          {"Helper.dll", helper}},
         "install.exe",
         {"E installer-dll-export-missing install.exe"},
         {"install.exe", "Helper.dll"},
         "imports B, #9 from Helper.dll"},
        {"shipped DLL for x64",
         {{"install.exe", Program({{"helper.dll", {"A"}}})},
          {"helper.dll",
           [] {
               Sketch s;
               s.pe32plus = true;
               s.machine = kMachineAmd64;
               s.characteristics |= kFileDll;
               s.exports = {"A"};
               return BuildPe(s);
           }()}},
         "install.exe",
         {"E installer-pe32plus helper.dll"},
         {"install.exe", "helper.dll"},
         "0xc000007b"},
        {"a chain of DLLs that loops",
         {{"install.exe", Program({{"a.dll", {"A"}}})},
          {"a.dll", Dll({"A"}, {{"b.dll", {"B"}}})},
          {"b.dll", Dll({"B"}, {{"A.DLL", {"A"}}, {"KERNEL32.dll", {"GetTickCount64"}}})}},
         "install.exe",
         {"E installer-function-missing b.dll"},
         {"install.exe", "a.dll", "b.dll"}},
        {"a system DLL beside the tool is not the one loaded",
         {{"install.exe", Program({{"KERNEL32.dll", {"GetTickCount64"}}})},
          {"kernel32.dll", Dll({"GetTickCount64"})}},
         "install.exe",
         {"E installer-function-missing install.exe"},
         {}},
        // amd64\install.exe, which XP x64 alone starts.
        {"our 64-bit tool",
         {{"AMD64/install.exe", wide([](Sketch&) {})}},
         "AMD64\\install.exe",
         {},
         {},
         "",
         ToolKind::Amd64},
        {"a 32-bit tool in the 64-bit one's place",
         {{"amd64/install.exe", Program()}},
         "amd64\\install.exe",
         {"E installer-machine amd64\\install.exe"},
         {},
         "under WOW64",
         ToolKind::Amd64},
        {"64-bit tool for Vista",
         {{"amd64/install.exe", wide([](Sketch& s) { s.subsystemVersion[0] = 6; })}},
         "amd64\\install.exe",
         {"E installer-subsystem-version amd64\\install.exe"},
         {},
         "own version of XP x64 / Server 2003 x64 (",
         ToolKind::Amd64},
        {"64-bit tool importing what XP x64 lacks, and XP SP3 alone",
         {{"amd64/install.exe", wide([](Sketch& s) {
               s.imports = {{"KERNEL32.dll", {"GetTickCount64", "FlsAlloc"}}};
           })}},
         "amd64\\install.exe",
         {"E installer-function-missing amd64\\install.exe"},
         {},
         "imports GetTickCount64 from KERNEL32.dll",
         ToolKind::Amd64},
        {"64-bit tool with a 32-bit DLL beside it",
         {{"amd64/install.exe", wide([](Sketch& s) {
               s.imports = {{"helper.dll", {"A"}}};
           })},
          {"amd64/helper.dll", helper}},
         "amd64\\install.exe",
         {"E installer-machine amd64\\helper.dll"},
         {"amd64\\install.exe", "amd64\\helper.dll"},
         "0xc000007b",
         ToolKind::Amd64},
    };
    for (const LoadRow& row : rows) {
        const testing::TempDir dir;
        for (const auto& [name, bytes] : row.files) dir.Write(name, bytes);
        const InstallerLoad check =
            CheckInstallerLoads(dir.path().string(), row.installer, row.kind);
        Strings found;
        for (const Finding& f : check.findings)
            found.push_back(std::string(f.severity == Severity::Error ? "E " : "W ") + f.kind +
                            " " + f.file);
        EXPECT_EQ(found, row.findings) << row.name;
        EXPECT_EQ(check.filesRead, row.read.empty() ? Strings{row.installer} : row.read)
            << row.name;
        if (*row.says != '\0' && !check.findings.empty()) {
            EXPECT_NE(check.findings[0].message.find(row.says), std::string::npos)
                << row.name << ": " << check.findings[0].message;
        }
    }
}

TEST(SystemExports, TheTableReadsAndAnswersAsTheLoaderLooksNamesUp) {
    EXPECT_EQ(SystemTableProblems(), Strings{});
    EXPECT_EQ(LoaderDllName("KERNEL32"), "kernel32.dll");
    EXPECT_EQ(LoaderDllName("Helper."), "helper");
    EXPECT_EQ(FunctionAvailability("kernel32", "FlsAlloc").missing,
              kAllSystems & ~Bit(WindowsSystem::Xp64));
    EXPECT_EQ(FunctionAvailability("KERNEL32.dll", "flsalloc").missing, 0);
    EXPECT_EQ(DllAvailability("API-MS-WIN-CORE-SYNCH-L1-2-0.DLL").missing, kAllSystems);
    EXPECT_EQ(DllAvailability("msvcrt.dll").source, "");
    EXPECT_TRUE(IsSystemDll("MSVCRT"));
    EXPECT_FALSE(IsSystemDll("uxtheme.dll"));  // a row of SystemExports.tsv: not on 2000
}

}  // namespace
}  // namespace pkgcheck
