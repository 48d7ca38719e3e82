#include "payload/Payload.h"

#include "payload/Texts.h"

namespace payload {
namespace {

using launcher::ByteString;

// "." and leading backslashes mean the folder itself; a non-empty result
// ends with a backslash.
bool AppendFolder(ByteString& path, std::string_view relative) {
    for (;;) {
        if (!relative.empty() && relative[0] == '\\') {
            relative.remove_prefix(1);
        } else if (relative == "." || Slice(relative, 0, 2) == ".\\") {
            relative.remove_prefix(1);
        } else {
            break;
        }
    }
    if (relative.empty()) return true;
    return path.Append(relative) && (relative.back() == '\\' || path.Append('\\'));
}

bool EndsWithCab(std::string_view name) {
    return name.size() > 4 && SameText(Slice(name, name.size() - 4), ".cab");
}

// The line for `key` in [base.<processor>], else in [base], entry by entry:
// the setup functions take the section for the system's processor over the
// plain one
// (learn.microsoft.com/windows-hardware/drivers/install/inf-sourcedisksnames-section,
// .../inf-sourcedisksfiles-section). A disk's ID is a number, read as the
// setup library reads numbers (0x for hexadecimal), so 1, 01 and 0x1 name
// one disk.
bool FindSourceLine(InfReading& reading, std::string_view base, const char* architecture,
                    std::string_view key, bool disk, ByteString& section, InfPlace* line) {
    std::uint32_t number = 0;
    if (disk && !ParseNumber(key, &number)) return false;
    InfSource& inf = reading.Inf();
    ByteString lineKey(reading.Heap());
    for (int plain = 0; plain < 2; ++plain) {
        if (!reading.Allocated(
                section.Assign(base) &&
                (plain != 0 || (section.Append('.') && section.Append(architecture)))))
            return false;
        if (!disk) {
            if (!reading.Allocated(lineKey.Assign(key))) return false;
            if (inf.FirstLine(section.c_str(), lineKey.c_str(), line)) return true;
            continue;
        }
        if (!inf.FirstLine(section.c_str(), nullptr, line)) continue;
        do {
            std::uint32_t lineNumber = 0;
            if (!reading.ReadField(*line, 0, lineKey)) return false;
            if (ParseNumber(lineKey.view(), &lineNumber) && lineNumber == number) return true;
        } while (inf.NextLine(line));
    }
    return false;
}

// The disk's cabinet. Without flag 0x10, Windows takes what it does not find
// by name from tag-or-cab-file (field 2) when that ends in .cab; from XP on,
// flag 0x10 in field 5 makes field 2 the cabinet whatever its name, and the
// disk's files come from it alone (field 6 is then only the tag file). 2000
// knows no such flag
// (learn.microsoft.com/windows-hardware/drivers/install/inf-sourcedisksnames-section,
// its flags entry and the two algorithms of its remarks).
bool ReadCabinet(InfReading& reading, const Target& target, SourcePlace& place) {
    ByteString flagsText(reading.Heap());
    if (!reading.OptionalField(place.diskLine, 5, flagsText) ||
        !reading.OptionalField(place.diskLine, 2, place.cabinet))
        return false;
    std::uint32_t flags = 0;
    const bool xp = target.os.major > 5 || (target.os.major == 5 && target.os.minor >= 1);
    place.cabinetOnly = xp && ParseNumber(flagsText.view(), &flags) && (flags & 0x10) != 0 &&
                        !place.cabinet.empty();
    if (!place.cabinetOnly && !EndsWithCab(place.cabinet.view())) place.cabinet.Clear();
    return true;
}

}  // namespace

// DDInstall.NTx86 (.NTamd64), DDInstall.NT, DDInstall, the first the INF has
// (learn.microsoft.com/windows-hardware/drivers/install/inf-ddinstall-section,
// .../creating-inf-files-for-multiple-platforms-and-operating-systems).
bool ChooseInstallSection(InfReading& reading, std::string_view name, const char* architecture,
                          ByteString& chosen) {
    for (int form = 0; form < 3; ++form) {
        if (!reading.Allocated(chosen.Assign(name) && (form == 2 || chosen.Append(".NT")) &&
                               (form != 0 || chosen.Append(architecture))))
            return false;
        if (reading.Inf().HasSection(chosen.c_str())) return true;
    }
    chosen.Clear();
    return false;
}

namespace {

// Each line of a file-list section: destination[, source[, ...]], the
// source being the destination when it is not given
// (learn.microsoft.com/windows-hardware/drivers/install/inf-copyfiles-directive).
void VisitFileList(InfReading& reading, std::string_view installSection, const InfPlace& copyLine,
                   const char* list, CopyVisitor& visitor) {
    InfSource& inf = reading.Inf();
    InfPlace line;
    if (!inf.FirstLine(list, nullptr, &line)) {
        if (!inf.HasSection(list)) visitor.MissingList(installSection, list, copyLine);
        return;
    }
    ByteString destination(reading.Heap());
    ByteString source(reading.Heap());
    do {
        if (!reading.OptionalField(line, 1, destination) || !reading.OptionalField(line, 2, source))
            return;
        const std::string_view from = source.empty() ? destination.view() : source.view();
        if (from.empty()) continue;
        visitor.File({from, destination.empty() ? from : destination.view(), list, &line});
    } while (!reading.Stopped() && inf.NextLine(&line));
}

// CopyFiles=file-list-section[,file-list-section...] or CopyFiles=@file.
void VisitCopyFiles(InfReading& reading, const char* section, CopyVisitor& visitor) {
    InfSource& inf = reading.Inf();
    InfPlace line;
    if (!inf.FirstLine(section, "CopyFiles", &line)) return;
    ByteString value(reading.Heap());
    do {
        const unsigned count = inf.FieldCount(line);
        for (unsigned i = 1; i <= count && reading.ReadField(line, i, value); ++i) {
            if (value.empty()) continue;
            visitor.Value(section, value.view());
            if (value.view()[0] == '@') {
                const std::string_view file = Slice(value.view(), 1);
                if (!file.empty()) visitor.File({file, file, section, &line});
            } else {
                VisitFileList(reading, section, line, value.c_str(), visitor);
            }
        }
    } while (!reading.Stopped() && inf.NextMatchLine(&line, "CopyFiles"));
}

}  // namespace

// The device's co-installers are copied from DDInstall.CoInstallers along
// with the driver
// (learn.microsoft.com/windows-hardware/drivers/install/inf-ddinstall-coinstallers-section).
void ForEachCopiedFile(InfReading& reading, std::string_view installSection, CopyVisitor& visitor) {
    ByteString section(reading.Heap());
    if (!reading.Allocated(section.Assign(installSection))) return;
    VisitCopyFiles(reading, section.c_str(), visitor);
    if (reading.Stopped() || !reading.Allocated(section.Append(".CoInstallers"))) return;
    VisitCopyFiles(reading, section.c_str(), visitor);
}

// The disk's path (field 4 of its [SourceDisksNames] line) is relative to
// the installation root, which for a package is the INF's folder, and the
// file line's subdirectory (field 2 of its [SourceDisksFiles] line) is
// relative to the disk's path. The fields are read here, one meaning each,
// because what SetupGetSourceFileLocation calls the "relative source path"
// already holds the disk's path on some setup libraries and lacks the
// file's subdirectory.
Listing FindSource(InfReading& reading, const Target& target, std::string_view file,
                   SourcePlace& place) {
    ByteString field(reading.Heap());
    if (!FindSourceLine(reading, "SourceDisksFiles", target.architecture, file, false,
                        place.fileSection, &place.fileLine))
        return Listing::NotListed;
    if (!reading.OptionalField(place.fileLine, 1, place.disk) ||
        !FindSourceLine(reading, "SourceDisksNames", target.architecture, place.disk.view(), true,
                        place.diskSection, &place.diskLine))
        return Listing::NoDisk;
    place.diskFolder.Clear();
    place.folder.Clear();
    if (!reading.OptionalField(place.diskLine, 4, field) ||
        !reading.Allocated(AppendFolder(place.diskFolder, field.view())) ||
        !reading.OptionalField(place.fileLine, 2, field) ||
        !reading.Allocated(place.folder.Assign(place.diskFolder.view()) &&
                           AppendFolder(place.folder, field.view())))
        return Listing::Listed;
    ReadCabinet(reading, target, place);
    return Listing::Listed;
}

// By name, then in its compressed forms, the last letter replaced by an
// underscore or a dollar sign, whatever the extension
// (learn.microsoft.com/windows/win32/api/setupapi/nf-setupapi-setupgetfilecompressioninfoexa),
// then in the disk's cabinet, which lies in the disk's path.
SourceForm LookUpSource(InfReading& reading, PackageFiles& package, const SourcePlace& place,
                        std::string_view file, ByteString& path) {
    if (!reading.Allocated(path.Assign(place.folder.view()) && path.Append(file))) {
        return SourceForm::Missing;
    }
    if (!place.cabinetOnly) {
        if (package.IsFile(path.view())) return SourceForm::Plain;
        const std::size_t last = path.size() - 1;
        for (const char mark : {'_', '$'}) {
            path.data()[last] = mark;
            if (package.IsFile(path.view())) return SourceForm::Compressed;
        }
        path.data()[last] = file.back();
    }
    if (place.cabinet.empty()) return SourceForm::Missing;
    ByteString cabinet(reading.Heap());
    if (!reading.Allocated(cabinet.Assign(place.diskFolder.view()) &&
                           cabinet.Append(place.cabinet.view())))
        return SourceForm::Missing;
    if (!package.CabinetHolds(cabinet.view(), file)) return SourceForm::Missing;
    return reading.Allocated(path.Assign(cabinet.view())) ? SourceForm::InCabinet
                                                          : SourceForm::Missing;
}

// As 2000 and XP read [Version]
// (learn.microsoft.com/windows-hardware/drivers/install/inf-version-section).
bool FindCatalog(InfReading& reading, const char* architecture, ByteString& key, ByteString& name,
                 InfPlace* line) {
    for (int k = 0; k < 3; ++k) {
        if (!reading.Allocated(key.Assign(k == 2 ? "CatalogFile" : "CatalogFile.NT") &&
                               (k != 0 || key.Append(architecture))))
            return false;
        if (!reading.Inf().FirstLine("Version", key.c_str(), line)) continue;
        return reading.OptionalField(*line, 1, name) && !name.empty();
    }
    return false;
}

}  // namespace payload
