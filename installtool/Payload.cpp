#include "installtool/Payload.h"

#include "installtool/Texts.h"
#include "platform/Paths.h"

namespace installtool {

using launcher::ByteString;
using launcher::InfHandle;
using launcher::InfLine;

namespace {

// A box lists this many problems; the rest are counted.
constexpr std::uint32_t kMostProblemLines = 10;

// winerror.h
constexpr std::uint32_t kErrorNotEnoughMemory = 8;
constexpr std::uint32_t kErrorOutOfMemory = 14;

// The pieces of PCI\VEN_v&DEV_d&SUBSYS_s&REV_r; empty where absent.
struct PciPieces {
    std::string_view vendor, device, subsystem, revision;
};

bool SplitPciId(std::string_view id, PciPieces* pieces) {
    if (!StartsWithText(id, "PCI\\")) return false;
    id.remove_prefix(4);
    std::string_view* slots[] = {&pieces->vendor, &pieces->device, &pieces->subsystem,
                                 &pieces->revision};
    const std::string_view prefixes[] = {"VEN_", "DEV_", "SUBSYS_", "REV_"};
    std::size_t slot = 0;
    while (!id.empty()) {
        const std::size_t amp = id.find('&');
        const std::string_view piece = Slice(id, 0, amp);
        while (slot < 4 && !StartsWithText(piece, prefixes[slot])) ++slot;
        if (slot == 4) return false;
        *slots[slot++] = piece;
        id.remove_prefix(amp == std::string_view::npos ? id.size() : amp + 1);
    }
    return !pieces->vendor.empty() && !pieces->device.empty();
}

// Whether `id` is PCI\ and the non-empty pieces joined by '&'.
bool IsJoined(std::string_view id, std::initializer_list<std::string_view> pieces) {
    if (!StartsWithText(id, "PCI\\")) return false;
    id.remove_prefix(4);
    bool first = true;
    for (const std::string_view piece : pieces) {
        if (piece.empty()) return false;
        if (!first) {
            if (id.empty() || id[0] != '&') return false;
            id.remove_prefix(1);
        }
        if (!StartsWithText(id, piece)) return false;
        id.remove_prefix(piece.size());
        first = false;
    }
    return id.empty();
}

// "." and leading backslashes mean the INF's own directory; a non-empty
// result ends with a backslash.
bool AppendRelative(ByteString& path, std::string_view relative) {
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

// A list of names, a line each, without repeats (letter case aside).
// Visits each name of such a list while `visit` says to go on.
template <typename Visit>
void ForEachName(std::string_view list, Visit visit) {
    while (!list.empty()) {
        const std::size_t end = list.find('\n');
        if (!visit(Slice(list, 0, end))) return;
        list.remove_prefix(end + 1);
    }
}

bool AddName(ByteString& list, std::string_view name) {
    bool listed = false;
    ForEachName(list.view(), [&](std::string_view listedName) {
        listed = SameText(listedName, name);
        return !listed;
    });
    return listed || (list.Append(name) && list.Append('\n'));
}

}  // namespace

bool NamesDevice(std::string_view modelId, std::string_view hardwareId) {
    if (SameText(modelId, hardwareId)) return true;
    PciPieces p;
    if (!SplitPciId(hardwareId, &p)) return false;
    return IsJoined(modelId, {p.vendor, p.device, p.subsystem}) ||
           IsJoined(modelId, {p.vendor, p.device, p.revision}) ||
           IsJoined(modelId, {p.vendor, p.device});
}

PayloadCheck::PayloadCheck(launcher::ToolPlatform& tool, launcher::Platform& platform,
                           const launcher::CodePage& cp, const OsVersion& os)
    : tool_(tool), platform_(platform), cp_(cp), os_(os) {}

// One check of one INF, with the INF open for its whole length.
class PayloadCheck::Run {
public:
    Run(PayloadCheck& check, std::string_view hardwareId, ByteString& problems)
        : tool_(check.tool_),
          check_(check),
          hardwareId_(hardwareId),
          problems_(problems),
          infDir_(check.platform_),
          matched_(check.platform_),
          served_(check.platform_) {}
    ~Run() {
        if (inf_) tool_.CloseInf(inf_);
    }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    PayloadResult Check(const char* infPath) {
        problems_.Clear();
        if (!Open(infPath))
            return noMemory_ ? PayloadResult::NoMemory : PayloadResult::InfUnreadable;
        CollectInstallSections();
        // A device the models do not name may still be served by an ID
        // Windows knows and this check does not (a class code, say): every
        // section the models serve is checked then.
        ForEachName((matched_.empty() ? served_ : matched_).view(),
                    [this](std::string_view section) {
                        CheckSection(section);
                        return !Failed();
                    });
        CheckCatalog();
        if (setupError_ != 0 && !noMemory_) {
            problems_.Clear();
            problemCount_ = 0;
            CannotRead(infPath, 0, setupError_);
            return noMemory_ ? PayloadResult::NoMemory : PayloadResult::InfUnreadable;
        }
        if (problemCount_ > kMostProblemLines) {
            Say("... and ");
            noMemory_ = !AppendDecimal(problems_, problemCount_ - kMostProblemLines) || noMemory_;
            Say(" more.\n");
        }
        if (noMemory_) return PayloadResult::NoMemory;
        return problemCount_ > 0 ? PayloadResult::Incomplete : PayloadResult::Complete;
    }

private:
    bool Open(const char* infPath) {
        const std::string_view path(infPath);
        if (!Keep(infDir_.Assign(DirectoryOf(path, check_.cp_)))) return false;
        if (!tool_.IsFile(infPath)) {
            Say(path);
            Say(" was not found.\n");
            return false;
        }
        unsigned line = 0;
        std::uint32_t error = 0;
        inf_ = tool_.OpenInf(infPath, &line, &error);
        if (inf_) return true;
        CannotRead(path, line, error);
        return false;
    }

    void CannotRead(std::string_view path, unsigned line, std::uint32_t error) {
        Say(path);
        Say(" cannot be read as setup information");
        if (line != 0) {
            Say(" (line ");
            Keep(AppendDecimal(problems_, line));
            Say(")");
        }
        Say(": error ");
        Keep(AppendHex(problems_, error));
        ByteString words(check_.platform_);
        if (tool_.ErrorDescription(error, words)) {
            Say(", ");
            Say(words.view());
        }
        Say("\n");
    }

    // The models sections this system reads, and in them the install
    // sections for the device and all of them.
    void CollectInstallSections() {
        InfLine line;
        if (!tool_.FindFirstLine(inf_, "Manufacturer", nullptr, &line)) return;
        do {
            ByteString models(check_.platform_);
            if (ModelsSection(line, models)) CollectFromModels(models.c_str());
        } while (!Failed() && tool_.FindNextLine(&line));
    }

    // The decorated section that serves this system best; the undecorated
    // one serves 32-bit Windows when none does.
    bool ModelsSection(const InfLine& line, ByteString& models) {
        if (!ReadField(line, 1, models)) return false;
        long best = -1;
        ByteString decoration(check_.platform_);
        ByteString chosen(check_.platform_);
        for (unsigned i = 2; i <= tool_.FieldCount(line); ++i) {
            if (!ReadField(line, i, decoration)) return false;
            const long rank = DecorationRank(decoration.view(), tool_.Architecture(), check_.os_);
            if (rank > best) {
                best = rank;
                if (!Keep(chosen.Assign(decoration.view()))) return false;
            }
        }
        if (best < 0) return SameText(tool_.Architecture(), "x86");
        return Keep(models.Append('.') && models.Append(chosen.view()));
    }

    void CollectFromModels(const char* models) {
        InfLine line;
        if (!tool_.FindFirstLine(inf_, models, nullptr, &line)) return;
        ByteString section(check_.platform_);
        ByteString id(check_.platform_);
        do {
            const unsigned count = tool_.FieldCount(line);
            if (count < 1 || !ReadField(line, 1, section) || section.empty()) continue;
            Keep(AddName(served_, section.view()));
            for (unsigned i = 2; i <= count && ReadField(line, i, id); ++i) {
                if (NamesDevice(id.view(), hardwareId_)) {
                    Keep(AddName(matched_, section.view()));
                    break;
                }
            }
        } while (!Failed() && tool_.FindNextLine(&line));
    }

    void CheckSection(std::string_view name) {
        ByteString section(check_.platform_);
        ByteString actual(check_.platform_);
        if (!Keep(section.Assign(name))) return;
        if (!tool_.ActualInstallSection(inf_, section.c_str(), actual))
            return SetupFailed(tool_.LastSetupError());
        CheckCopyFiles(actual.c_str());
        if (Keep(actual.Append(".CoInstallers"))) CheckCopyFiles(actual.c_str());
    }

    // CopyFiles=list-section,@file,...
    void CheckCopyFiles(const char* section) {
        InfLine line;
        if (!tool_.FindFirstLine(inf_, section, "CopyFiles", &line)) return;
        ByteString value(check_.platform_);
        do {
            const unsigned count = tool_.FieldCount(line);
            for (unsigned i = 1; i <= count && ReadField(line, i, value); ++i) {
                if (value.empty()) continue;
                if (value.view()[0] == '@') {
                    CheckFile(Slice(value.view(), 1));
                } else {
                    CheckFileList(value.c_str());
                }
            }
        } while (!Failed() && tool_.FindNextMatchLine(&line, "CopyFiles"));
    }

    // Each line: destination name, then the source name when it differs.
    void CheckFileList(const char* section) {
        InfLine line;
        if (!tool_.FindFirstLine(inf_, section, nullptr, &line)) return;
        ByteString name(check_.platform_);
        do {
            const unsigned count = tool_.FieldCount(line);
            if (count >= 2 && !ReadField(line, 2, name)) return;
            if (count >= 2 && !name.empty()) {
                CheckFile(name.view());
            } else if (count >= 1) {
                if (!ReadField(line, 1, name)) return;
                CheckFile(name.view());
            }
        } while (!Failed() && tool_.FindNextLine(&line));
    }

    // The INF's folder, the disk's path (field 4 of its [SourceDisksNames]
    // line, relative to the installation root, which for a package is the
    // INF's folder), the file line's subdirectory (field 2 of its
    // [SourceDisksFiles] line, relative to the disk's path), and the name:
    // learn.microsoft.com/windows-hardware/drivers/install/inf-sourcedisksnames-section
    // and .../inf-sourcedisksfiles-section. The fields are read here, one
    // meaning each, because what SetupGetSourceFileLocation calls the
    // "relative source path" already holds the disk's path on some setup
    // libraries and lacks the file's subdirectory.
    void CheckFile(std::string_view file) {
        ByteString name(check_.platform_);
        ByteString diskPath(check_.platform_);
        ByteString subfolder(check_.platform_);
        ByteString path(check_.platform_);
        InfLine fileLine;
        if (file.empty() || !Keep(name.Assign(file))) return;
        if (!FindSourceLine("SourceDisksFiles", name.view(), false, &fileLine)) {
            if (!Failed()) Problem({file, " is copied but not listed in [SourceDisksFiles]."});
            return;
        }
        InfLine diskLine;
        if (!OptionalField(fileLine, 1, name) ||
            !FindSourceLine("SourceDisksNames", name.view(), true, &diskLine)) {
            if (!Failed())
                Problem({file, " lies on a disk that [SourceDisksNames] does not list."});
            return;
        }
        if (!OptionalField(diskLine, 4, diskPath) || !OptionalField(fileLine, 2, subfolder)) return;
        if (!Keep(path.Assign(infDir_.view()) && AppendRelative(path, diskPath.view()) &&
                  AppendRelative(path, subfolder.view()) && path.Append(file)))
            return;
        if (tool_.IsFile(path.c_str())) return;
        // Setup also takes the compressed forms, the last letter replaced by
        // an underscore or a dollar sign
        // (learn.microsoft.com/windows/win32/api/setupapi/nf-setupapi-setupgetfilecompressioninfoexa).
        const std::size_t length = path.size();
        for (const char last : {'_', '$'}) {
            path.data()[length - 1] = last;
            if (tool_.IsFile(path.c_str())) return;
        }
        path.data()[length - 1] = file.back();
        if (InDiskCabinet(diskLine, diskPath.view())) return;
        Problem({path.view(), " is missing."});
    }

    // Whether the disk's cabinet lies in the disk's path: Windows takes the
    // files it does not find by name from there. The cabinet is the disk
    // line's tag-or-cab-file (field 2) when it ends in .cab, or when flags
    // (field 5) hold 0x10, which make the XP form's tag-file (field 6) the
    // tag; a tag-file ending in .cab is tag and cabinet at once
    // (learn.microsoft.com/windows-hardware/drivers/install/inf-sourcedisksnames-section,
    // learn.microsoft.com/windows/win32/setupapi/inf-sourcedisksnames-and-sourcedisksfiles-sections-example).
    // What the cabinet holds is left to pkgcheck, which reads it.
    bool InDiskCabinet(const InfLine& disk, std::string_view diskPath) {
        ByteString name(check_.platform_);
        ByteString path(check_.platform_);
        std::uint32_t flags = 0;
        if (!OptionalField(disk, 5, name)) return false;
        const bool cabinetFlag = ParseNumber(name.view(), &flags) && (flags & 0x10) != 0;
        for (const unsigned field : {2u, 6u}) {
            if (!OptionalField(disk, field, name)) return false;
            const std::string_view cabinet = name.view();
            const bool isCabinet =
                (cabinet.size() > 4 && SameText(Slice(cabinet, cabinet.size() - 4), ".cab")) ||
                (field == 2 && cabinetFlag && !cabinet.empty());
            if (!isCabinet) continue;
            if (!Keep(path.Assign(infDir_.view()) && AppendRelative(path, diskPath) &&
                      path.Append(cabinet)))
                return false;
            if (tool_.IsFile(path.c_str())) return true;
        }
        return false;
    }

    // The line for `key` in [base.<processor>], else in [base], entry by
    // entry: the setup functions take the section for the system's processor
    // over the plain one
    // (learn.microsoft.com/windows/win32/setupapi/authoring-an-inf-file).
    // A disk's key is a number, so 1 and 01 name one disk.
    bool FindSourceLine(std::string_view base, std::string_view key, bool disk, InfLine* line) {
        std::uint32_t number = 0;
        if (disk && !ParseNumber(key, &number)) return false;
        ByteString section(check_.platform_);
        ByteString lineKey(check_.platform_);
        for (int plain = 0; plain < 2; ++plain) {
            if (!Keep(
                    section.Assign(base) &&
                    (plain != 0 || (section.Append('.') && section.Append(tool_.Architecture())))))
                return false;
            if (!disk) {
                if (!Keep(lineKey.Assign(key))) return false;
                if (tool_.FindFirstLine(inf_, section.c_str(), lineKey.c_str(), line)) return true;
                continue;
            }
            if (!tool_.FindFirstLine(inf_, section.c_str(), nullptr, line)) continue;
            do {
                std::uint32_t lineNumber = 0;
                if (!ReadField(*line, 0, lineKey)) return false;
                if (ParseNumber(lineKey.view(), &lineNumber) && lineNumber == number) return true;
            } while (tool_.FindNextLine(line));
        }
        return false;
    }

    // Field `index`, empty when the line is shorter.
    bool OptionalField(const InfLine& line, unsigned index, ByteString& text) {
        if (tool_.FieldCount(line) < index) {
            text.Clear();
            return true;
        }
        return ReadField(line, index, text);
    }

    // CatalogFile.NTx86, else .NT, else the plain key, as 2000 and XP read
    // them; no key at all is an unsigned package, which Windows asks about.
    void CheckCatalog() {
        ByteString key(check_.platform_);
        ByteString name(check_.platform_);
        for (int k = 0; k < 3; ++k) {
            if (!Keep(key.Assign(k == 2 ? "CatalogFile" : "CatalogFile.NT") &&
                      (k != 0 || key.Append(tool_.Architecture()))))
                return;
            InfLine line;
            if (!tool_.FindFirstLine(inf_, "Version", key.c_str(), &line)) continue;
            if (tool_.FieldCount(line) < 1 || !ReadField(line, 1, name) || name.empty()) return;
            ByteString path(check_.platform_);
            if (!Keep(path.Assign(infDir_.view()) && path.Append(name.view()))) return;
            if (!tool_.IsFile(path.c_str())) Problem({path.view(), " (the catalog) is missing."});
            return;
        }
    }

    void Problem(std::initializer_list<std::string_view> pieces) {
        if (++problemCount_ > kMostProblemLines) return;
        for (const std::string_view piece : pieces) Say(piece);
        Say("\n");
    }
    // Field `index` of `line`. The setup library says why it failed through
    // the thread's last error, which the platform reads at once: only its
    // memory errors mean exhausted memory
    // (learn.microsoft.com/windows/win32/api/setupapi/nf-setupapi-setupgetstringfielda).
    bool ReadField(const InfLine& line, unsigned index, ByteString& text) {
        if (tool_.Field(line, index, text)) return true;
        SetupFailed(tool_.LastSetupError());
        return false;
    }
    void SetupFailed(std::uint32_t error) {
        if (error == kErrorNotEnoughMemory || error == kErrorOutOfMemory) {
            noMemory_ = true;
        } else if (setupError_ == 0) {
            setupError_ = error;
        }
    }
    bool Failed() const { return noMemory_ || setupError_ != 0; }

    void Say(std::string_view text) { Keep(problems_.Append(text)); }
    bool Keep(bool ok) {
        if (!ok) noMemory_ = true;
        return ok;
    }

    launcher::ToolPlatform& tool_;
    PayloadCheck& check_;
    std::string_view hardwareId_;
    ByteString& problems_;
    ByteString infDir_;
    ByteString matched_;  // install sections of models that name the device
    ByteString served_;   // install sections of every model this system reads
    InfHandle inf_ = nullptr;
    std::uint32_t problemCount_ = 0;
    bool noMemory_ = false;
    std::uint32_t setupError_ = 0;  // the setup library's first error but memory; 0: none
};

PayloadResult PayloadCheck::Check(const char* infPath, std::string_view hardwareId,
                                  ByteString& problems) {
    Run run(*this, hardwareId, problems);
    return run.Check(infPath);
}

}  // namespace installtool
