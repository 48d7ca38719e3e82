#include "installtool/Payload.h"

#include "payload/HardwareId.h"
#include "payload/Payload.h"
#include "payload/Texts.h"
#include "platform/Paths.h"

namespace installtool {

using launcher::ByteString;
using launcher::InfHandle;
using launcher::InfLine;
using payload::InfPlace;
using payload::SameText;

namespace {

// A box lists this many problems; the rest are counted.
constexpr std::uint32_t kMostProblemLines = 10;

InfPlace ToPlace(const InfLine& line) {
    return {line.inf, line.currentInf, line.section, line.line};
}
InfLine ToLine(const InfPlace& place) { return {place.a, place.b, place.c, place.d}; }

// The INF as the setup library reads it.
class SetupInf final : public payload::InfSource {
public:
    SetupInf(launcher::ToolPlatform& tool, InfHandle inf) : tool_(tool), inf_(inf) {}

    bool FirstLine(const char* section, const char* key, InfPlace* place) override {
        InfLine line;
        if (!tool_.FindFirstLine(inf_, section, key, &line)) return false;
        *place = ToPlace(line);
        return true;
    }
    bool NextLine(InfPlace* place) override {
        InfLine line = ToLine(*place);
        if (!tool_.FindNextLine(&line)) return false;
        *place = ToPlace(line);
        return true;
    }
    bool NextMatchLine(InfPlace* place, const char* key) override {
        InfLine line = ToLine(*place);
        if (!tool_.FindNextMatchLine(&line, key)) return false;
        *place = ToPlace(line);
        return true;
    }
    unsigned FieldCount(const InfPlace& place) override { return tool_.FieldCount(ToLine(place)); }
    bool Field(const InfPlace& place, unsigned index, ByteString& text) override {
        return tool_.Field(ToLine(place), index, text);
    }
    bool HasSection(const char* section) override { return tool_.HasSection(inf_, section); }
    std::uint32_t LastError() override { return tool_.LastSetupError(); }

private:
    launcher::ToolPlatform& tool_;
    InfHandle inf_;
};

// The package beside the INF, by full paths. The tool does not open a
// cabinet: one that is there stands for its files, and what it holds is
// left to pkgcheck, which reads it.
class ToolFiles final : public payload::PackageFiles {
public:
    ToolFiles(launcher::ToolPlatform& tool, payload::InfReading& reading, std::string_view infDir)
        : tool_(tool), reading_(reading), infDir_(infDir), path_(reading.Heap()) {}

    bool IsFile(std::string_view path) override {
        return reading_.Allocated(path_.Assign(infDir_) && path_.Append(path)) &&
               tool_.IsFile(path_.c_str());
    }
    bool CabinetHolds(std::string_view path, std::string_view) override { return IsFile(path); }

private:
    launcher::ToolPlatform& tool_;
    payload::InfReading& reading_;
    std::string_view infDir_;
    ByteString path_;
};

// A list of names, a line each, without repeats (letter case aside).
// Visits each name of such a list while `visit` says to go on.
template <typename Visit>
void ForEachName(std::string_view list, Visit visit) {
    while (!list.empty()) {
        const std::size_t end = list.find('\n');
        if (!visit(payload::Slice(list, 0, end))) return;
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

PayloadCheck::PayloadCheck(launcher::ToolPlatform& tool, launcher::Platform& platform,
                           const launcher::CodePage& cp, const payload::OsVersion& os)
    : tool_(tool), platform_(platform), cp_(cp), os_(os) {}

class PayloadCheck::Inspection final : private payload::CopyVisitor {
public:
    Inspection(PayloadCheck& check, std::string_view hardwareId, ByteString& problems)
        : tool_(check.tool_),
          check_(check),
          target_{check.tool_.Architecture(), check.os_},
          hardwareId_(hardwareId),
          problems_(problems),
          infDir_(check.platform_),
          matched_(check.platform_),
          served_(check.platform_) {}
    ~Inspection() {
        if (inf_) tool_.CloseInf(inf_);
    }
    Inspection(const Inspection&) = delete;
    Inspection& operator=(const Inspection&) = delete;

    PayloadResult Inspect(const char* infPath) {
        problems_.Clear();
        if (!Open(infPath))
            return noMemory_ ? PayloadResult::NoMemory : PayloadResult::InfUnreadable;
        SetupInf source(tool_, inf_);
        payload::InfReading reading(source, check_.platform_);
        ToolFiles files(tool_, reading, infDir_.view());
        reading_ = &reading;
        files_ = &files;
        CollectInstallSections();
        // A device the models do not name may still be served by an ID
        // Windows knows and this check does not (a class code, say): every
        // section the models serve is checked then.
        ForEachName((matched_.empty() ? served_ : matched_).view(),
                    [this](std::string_view section) {
                        CheckSection(section);
                        return !reading_->Stopped();
                    });
        CheckCatalog();
        noMemory_ = noMemory_ || reading.NoMemory();
        if (reading.Error() != 0 && !noMemory_) {
            problems_.Clear();
            problemCount_ = 0;
            CannotRead(infPath, 0, reading.Error());
            return noMemory_ ? PayloadResult::NoMemory : PayloadResult::InfUnreadable;
        }
        if (problemCount_ > kMostProblemLines) {
            Write("... and ");
            Allocated(payload::AppendDecimal(problems_, problemCount_ - kMostProblemLines));
            Write(" more.\n");
        }
        if (noMemory_) return PayloadResult::NoMemory;
        return problemCount_ > 0 ? PayloadResult::Incomplete : PayloadResult::Complete;
    }

private:
    bool Open(const char* infPath) {
        const std::string_view path(infPath);
        if (!Allocated(infDir_.Assign(DirectoryOf(path, check_.cp_)))) return false;
        if (!tool_.IsFile(infPath)) {
            Write(path);
            Write(" was not found.\n");
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
        Write(path);
        Write(" cannot be read as setup information");
        if (line != 0) {
            Write(" (line ");
            Allocated(payload::AppendDecimal(problems_, line));
            Write(")");
        }
        Write(": error ");
        Allocated(payload::AppendHex(problems_, error));
        ByteString words(check_.platform_);
        if (tool_.ErrorDescription(error, words)) {
            Write(", ");
            Write(words.view());
        }
        Write("\n");
    }

    // The models sections this system reads, and in them the install
    // sections for the device and all of them.
    void CollectInstallSections() {
        InfPlace line;
        if (!reading_->Inf().FirstLine("Manufacturer", nullptr, &line)) return;
        do {
            ByteString models(check_.platform_);
            if (ModelsSection(line, models)) CollectFromModels(models.c_str());
        } while (!reading_->Stopped() && reading_->Inf().NextLine(&line));
    }

    // The decorated section that serves this system best; the undecorated
    // one serves 32-bit Windows when none does.
    bool ModelsSection(const InfPlace& line, ByteString& models) {
        if (!reading_->ReadField(line, 1, models)) return false;
        long best = -1;
        ByteString decoration(check_.platform_);
        ByteString chosen(check_.platform_);
        for (unsigned i = 2; i <= reading_->Inf().FieldCount(line); ++i) {
            if (!reading_->ReadField(line, i, decoration)) return false;
            const long rank =
                payload::DecorationRank(decoration.view(), target_.architecture, target_.os);
            if (rank > best) {
                best = rank;
                if (!Allocated(chosen.Assign(decoration.view()))) return false;
            }
        }
        if (best < 0) return SameText(target_.architecture, "x86");
        return Allocated(models.Append('.') && models.Append(chosen.view()));
    }

    void CollectFromModels(const char* models) {
        InfPlace line;
        if (!reading_->Inf().FirstLine(models, nullptr, &line)) return;
        ByteString section(check_.platform_);
        ByteString id(check_.platform_);
        do {
            const unsigned count = reading_->Inf().FieldCount(line);
            if (count < 1 || !reading_->ReadField(line, 1, section) || section.empty()) continue;
            Allocated(AddName(served_, section.view()));
            for (unsigned i = 2; i <= count && reading_->ReadField(line, i, id); ++i) {
                if (payload::NamesDevice(id.view(), hardwareId_)) {
                    Allocated(AddName(matched_, section.view()));
                    break;
                }
            }
        } while (!reading_->Stopped() && reading_->Inf().NextLine(&line));
    }

    void CheckSection(std::string_view name) {
        ByteString chosen(check_.platform_);
        if (!payload::ChooseInstallSection(*reading_, name, target_.architecture, chosen)) return;
        payload::ForEachCopiedFile(*reading_, chosen.view(), *this);
    }

    void MissingList(std::string_view, std::string_view, const InfPlace&) override {}

    void File(const payload::CopiedFile& copied) override {
        const std::string_view file = copied.source;
        payload::SourcePlace place(check_.platform_);
        switch (payload::FindSource(*reading_, target_, file, place)) {
            case payload::Listing::NotListed:
                if (!reading_->Stopped())
                    Problem({file, " is copied but not listed in [SourceDisksFiles]."});
                return;
            case payload::Listing::NoDisk:
                if (!reading_->Stopped())
                    Problem({file, " lies on a disk that [SourceDisksNames] does not list."});
                return;
            case payload::Listing::Listed:
                break;
        }
        ByteString path(check_.platform_);
        if (payload::LookUpSource(*reading_, *files_, place, file, path) !=
                payload::SourceForm::Missing ||
            reading_->Stopped())
            return;
        Problem({infDir_.view(), path.view(), " is missing."});
    }

    // No catalog key at all is an unsigned package, which Windows asks about.
    void CheckCatalog() {
        ByteString key(check_.platform_);
        ByteString name(check_.platform_);
        InfPlace line;
        if (!payload::FindCatalog(*reading_, target_.architecture, key, name, &line)) return;
        if (files_->IsFile(name.view())) return;
        Problem({infDir_.view(), name.view(), " (the catalog) is missing."});
    }

    void Problem(std::initializer_list<std::string_view> pieces) {
        if (++problemCount_ > kMostProblemLines) return;
        for (const std::string_view piece : pieces) Write(piece);
        Write("\n");
    }

    void Write(std::string_view text) { Allocated(problems_.Append(text)); }
    // `ok`, noting exhausted memory when it is false.
    bool Allocated(bool ok) {
        if (!ok) noMemory_ = true;
        return ok;
    }

    launcher::ToolPlatform& tool_;
    PayloadCheck& check_;
    const payload::Target target_;
    std::string_view hardwareId_;
    ByteString& problems_;
    ByteString infDir_;
    ByteString matched_;  // install sections of models that name the device
    ByteString served_;   // install sections of every model this system reads
    InfHandle inf_ = nullptr;
    payload::InfReading* reading_ = nullptr;
    payload::PackageFiles* files_ = nullptr;
    std::uint32_t problemCount_ = 0;
    bool noMemory_ = false;
};

PayloadResult PayloadCheck::Check(const char* infPath, std::string_view hardwareId,
                                  ByteString& problems) {
    Inspection inspection(*this, hardwareId, problems);
    return inspection.Inspect(infPath);
}

}  // namespace installtool
