#pragma once
// What the INF installs on 2000 and XP (x86), or on XP x64 and Server 2003
// x64 (amd64), and whether the package holds it: the files its install
// sections copy, where Windows looks for each, the catalog and the service
// binaries. Each architecture has a payload of its own.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pkgcheck/inf/Inf.h"
#include "pkgcheck/read/Finding.h"

namespace pkgcheck {

// What the loader reads of a copied driver (.sys).
struct PayloadDriver {
    bool image = false;   // the headers could be read
    std::string problem;  // why it is no usable image, if it is not
    std::uint16_t machine = 0;
    bool pe32plus = false;
    std::uint16_t subsystem = 0;
    std::uint32_t checksum = 0;  // as stored
    std::uint32_t computedChecksum = 0;
};

// A source file that some install section copies, once however many do.
struct PayloadFile {
    std::string name;      // its source name, as the INF gives it
    std::string section;   // the file-list section naming it, or the install section for @name
    int line = 0;          // of that entry
    std::string listedIn;  // [SourceDisksFiles.x86] (.amd64) or [SourceDisksFiles]; empty: neither
    std::string disk;      // its disk ID there
    // Where Windows looks for it, from the package (drv\x86\stordrv.sys);
    // empty when the INF does not say.
    std::string expected;
    std::string found;                    // as spelled on disk, from the package; empty: not there
    std::string cabinet;                  // when found in the disk's cabinet: that, as found
    std::string member;                   // and the file's name there
    bool compressed = false;              // found in its compressed form (name.sy_)
    std::string path;                     // host path, when found
    std::optional<PayloadDriver> driver;  // a .sys that was found and read
};

// An install section the models for x86 NT 5.x (x64 NT 5.2) name.
struct PayloadInstall {
    std::string name;    // as the models name it
    std::string chosen;  // the section Windows installs from; empty: none exists
    std::string modelSection;
    int line = 0;  // of the first model line naming it
    std::uint32_t models = 0;
    // What its CopyFiles lines name, in order: file-list sections, and
    // @name for a file copied directly.
    std::vector<std::string> copyFiles;
    std::vector<std::string> serviceBinaries;  // as the service sections give them
};

struct PayloadCatalog {
    std::string key;  // CatalogFile.NTx86 (.NTamd64), CatalogFile.NT or CatalogFile
    std::string name;
    int line = 0;
    std::string found;  // as spelled on disk, from the package; empty: not there
    std::string path;   // host path, when found
};

enum class PayloadArch { X86, Amd64 };

struct Payload {
    std::string architecture;  // "x86" or "amd64"
    Scope scope = Scope::X86;  // of its findings and its catalog's
    std::vector<PayloadInstall> installs;
    std::vector<PayloadFile> files;
    std::optional<PayloadCatalog> catalog;  // none: [Version] names no catalog
    std::vector<Finding> errors;
    std::vector<Finding> warnings;
};

// `infDir` is the host path of the INF's directory, which the package calls
// `infDirShown` (drv); `infFile` names the INF in findings. With no install
// section for the architecture (x86 NT 5.x, or x64 NT 5.2) no file is
// copied, but the catalog is still looked for: the INF itself is its member.
Payload CheckPayload(const InfContents& inf, const std::string& infDir,
                     const std::string& infDirShown, const std::string& infFile,
                     PayloadArch arch = PayloadArch::X86);

// Whether a file name ends in .sys, letter case aside.
bool IsDriverFile(const std::string& name);

}  // namespace pkgcheck
