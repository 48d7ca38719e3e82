#pragma once
// What an install section copies and where Windows looks for each file: the
// rules of the installer tool's payload check and of pkgcheck's, written
// once so that both judge a package as Windows does. They read the INF
// through InfSource and the package through PackageFiles, and obey the
// tool's limits: no runtime library, heap strings that report exhausted
// memory.

#include <string_view>

#include "payload/Decoration.h"
#include "payload/InfSource.h"
#include "platform/ByteString.h"

namespace payload {

// The system the rules are applied for.
struct Target {
    const char* architecture;  // as INFs name it: "x86" or "amd64"
    OsVersion os;
};

// The install section Windows reads for `name` on the processor: its .NTx86
// (.NTamd64) form, else its .NT form, else itself. False when the INF has
// none of them (or memory ran out, which `reading` notes).
bool ChooseInstallSection(InfReading& reading, std::string_view name, const char* architecture,
                          launcher::ByteString& chosen);

// A file that a CopyFiles value copies.
struct CopiedFile {
    std::string_view source;       // the name it lies under in the package
    std::string_view destination;  // the name it is copied to
    std::string_view section;      // the file-list section naming it, or the install section
    const InfPlace* line;          // that line, or the CopyFiles line for @file
};

class CopyVisitor {
public:
    // A value of a CopyFiles line as written: a file-list section, or @file.
    virtual void Value(std::string_view installSection, std::string_view value) {
        static_cast<void>(installSection);
        static_cast<void>(value);
    }
    virtual void File(const CopiedFile& file) = 0;
    // A CopyFiles value names a file-list section the INF lacks.
    virtual void MissingList(std::string_view installSection, std::string_view list,
                             const InfPlace& line) = 0;

protected:
    ~CopyVisitor() = default;
};

// Every file that the CopyFiles lines of the chosen install section and of
// its .CoInstallers section copy, in order, repeats included.
void ForEachCopiedFile(InfReading& reading, std::string_view installSection, CopyVisitor& visitor);

// Where a source file lies, relative to the INF's folder; each folder is
// empty or ends with a backslash.
struct SourcePlace {
    explicit SourcePlace(launcher::Heap& heap)
        : fileSection(heap),
          diskSection(heap),
          disk(heap),
          folder(heap),
          diskFolder(heap),
          cabinet(heap) {}

    launcher::ByteString fileSection;  // [SourceDisksFiles.x86] or [SourceDisksFiles]
    InfPlace fileLine;
    launcher::ByteString diskSection;  // the same for [SourceDisksNames]
    InfPlace diskLine;
    launcher::ByteString disk;        // the disk ID as the file's line gives it
    launcher::ByteString folder;      // the disk's path, then the file line's subfolder
    launcher::ByteString diskFolder;  // the disk's path
    launcher::ByteString cabinet;     // the disk's cabinet; empty: none
    bool cabinetOnly = false;         // the disk's files come from its cabinet alone
};

enum class Listing { Listed, NotListed, NoDisk };

// The lines that say where `file` lies, and what they say.
Listing FindSource(InfReading& reading, const Target& target, std::string_view file,
                   SourcePlace& place);

// The package as one program sees it, paths relative to the INF's folder.
class PackageFiles {
public:
    virtual bool IsFile(std::string_view path) = 0;
    // Whether the cabinet at `path` holds `member`.
    virtual bool CabinetHolds(std::string_view path, std::string_view member) = 0;

protected:
    ~PackageFiles() = default;
};

enum class SourceForm { Missing, Plain, Compressed, InCabinet };

// Looks `file` up where Windows takes it from. `path` is then where it was
// found (the cabinet, for a file in it), or where it is missing.
SourceForm LookUpSource(InfReading& reading, PackageFiles& package, const SourcePlace& place,
                        std::string_view file, launcher::ByteString& path);

// The catalog that [Version] names on the processor: CatalogFile.NTx86
// (.NTamd64), else CatalogFile.NT, else CatalogFile. False when none does.
bool FindCatalog(InfReading& reading, const char* architecture, launcher::ByteString& key,
                 launcher::ByteString& name, InfPlace* line);

}  // namespace payload
