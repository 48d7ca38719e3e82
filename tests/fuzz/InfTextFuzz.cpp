// pkgcheck's INF reader on any bytes, and the payload rules reading
// through it: whatever the encoding, the sections, the [Strings] tokens and
// the quoting, the file is read (or refused in words) without a read out of
// bounds or a crash, reading the same bytes again gives the same models,
// every line's fields can be read as the rules read them, and the rules
// follow every install section's copies to where their files lie.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "payload/Payload.h"
#include "pkgcheck/inf/Inf.h"
#include "pkgcheck/inf/InfFields.h"
#include "pkgcheck/inf/InfPlaces.h"
#include "pkgcheck/inf/InfServices.h"
#include "pkgcheck/inf/InfText.h"
#include "pkgcheck/read/HashIndex.h"
#include "pkgcheck/read/Text.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

using pkgcheck::InfContents;
using pkgcheck::InfFile;
using pkgcheck::LogicalLine;

bool SameFindings(const std::vector<pkgcheck::Finding>& a,
                  const std::vector<pkgcheck::Finding>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].kind != b[i].kind || a[i].line != b[i].line || a[i].message != b[i].message)
            return false;
    return true;
}

bool SameModels(const InfContents& a, const InfContents& b) {
    if (a.encoding != b.encoding || a.error != b.error || a.sections != b.sections ||
        a.nt5Names != b.nt5Names || a.idText != b.idText || a.ids.size() != b.ids.size() ||
        a.installs.size() != b.installs.size() || a.installsX64.size() != b.installsX64.size() ||
        a.otherIds.size() != b.otherIds.size() || a.otherPlaces != b.otherPlaces)
        return false;
    for (std::size_t j = 0; j < a.ids.size(); ++j)
        if (a.Id(j) != b.Id(j) || a.ids[j].line != b.ids[j].line) return false;
    for (std::size_t j = 0; j < a.installs.size(); ++j)
        if (a.installs[j].name != b.installs[j].name) return false;
    return SameFindings(a.warnings, b.warnings) && SameFindings(a.errors, b.errors);
}

// Every section is found by its name in either case, its lines come in
// order, and their fields and tokens can be taken apart.
void WalkSections(const InfFile& file) {
    std::string scratch;
    std::string expanded;
    for (std::uint32_t s = 0; s < file.SectionCount(); ++s) {
        const std::string_view name = file.NameOf(s);
        Check(file.Find(name) == s);
        Check(file.Find(pkgcheck::UpperAscii(name)) == s);
        int last = 0;
        file.ForEachLine(s, [&](const LogicalLine& l) {
            Check(l.line > last && l.begin < l.end && !l.text.empty());
            last = l.line;
            const std::string line(file.Substitute(l.text, &expanded));
            pkgcheck::ForEachField(line, ',', [&](std::size_t, std::string_view field) {
                Check(pkgcheck::Unquoted(field, &scratch).size() <= field.size());
            });
        });
    }
}

// Every line of every section through the rules' interface: fields 0 to
// FieldCount read, the one after them refused.
void ReadAllFields(const InfFile& file) {
    pkgcheck::InfFields fields(file);
    pkgcheck::NewHeap heap;
    launcher::ByteString text(heap);
    for (std::uint32_t s = 0; s < file.SectionCount(); ++s) {
        const std::string name(file.NameOf(s));
        Check(fields.HasSection(name.c_str()) || name.find('\0') != std::string::npos);
        payload::InfPlace place;
        if (!fields.FirstLine(name.c_str(), nullptr, &place)) continue;
        do {
            const unsigned count = fields.FieldCount(place);
            for (unsigned i = 1; i <= count; ++i) Check(fields.Field(place, i, text));
            Check(!fields.Field(place, count + 1, text) && fields.LastError() != 0);
        } while (fields.NextLine(&place));
    }
}

// A package in which a name is there or not by its bytes alone, so that
// both answers are met.
class SomeFiles final : public payload::PackageFiles {
public:
    bool IsFile(std::string_view path) override { return pkgcheck::HashOf(path) % 3 != 0; }
    bool CabinetHolds(std::string_view path, std::string_view member) override {
        return (pkgcheck::HashOf(path) ^ pkgcheck::HashOf(member)) % 2 == 0;
    }
};

// For each copied file, where it lies and whether it is there.
class Follower final : public payload::CopyVisitor {
public:
    Follower(payload::InfReading& reading, const payload::Target& target)
        : reading_(reading), target_(target) {}

    void File(const payload::CopiedFile& copied) override {
        Check(!copied.source.empty() && copied.line != nullptr);
        if (++files_ > 16) return;
        payload::SourcePlace place(reading_.Heap());
        if (payload::FindSource(reading_, target_, copied.source, place) !=
            payload::Listing::Listed)
            return;
        launcher::ByteString path(reading_.Heap());
        SomeFiles package;
        payload::LookUpSource(reading_, package, place, copied.source, path);
    }
    // A list may be named by an empty C string: a value that starts with a
    // NUL byte.
    void MissingList(std::string_view, std::string_view, const payload::InfPlace&) override {}

private:
    payload::InfReading& reading_;
    const payload::Target& target_;
    int files_ = 0;
};

// The rules as pkgcheck applies them: on XP for x86 and on XP x64 for
// amd64, from each install section the models name.
void FollowPayload(const InfContents& inf, const InfFile& file) {
    const payload::Target targets[] = {{"x86", {5, 1, 1, payload::kXpSuites}},
                                       {"amd64", {5, 2, 1, 0}}};
    for (const payload::Target& target : targets) {
        pkgcheck::InfFields fields(file);
        pkgcheck::NewHeap heap;
        payload::InfReading reading(fields, heap);
        launcher::ByteString chosen(heap);
        for (std::size_t i = 0; i < inf.installs.size() && i < 4; ++i) {
            if (!payload::ChooseInstallSection(reading, inf.installs[i].name, target.architecture,
                                               chosen))
                continue;
            Follower follower(reading, target);
            payload::ForEachCopiedFile(reading, chosen.view(), follower);
        }
        launcher::ByteString key(heap);
        launcher::ByteString name(heap);
        payload::InfPlace line;
        payload::FindCatalog(reading, target.architecture, key, name, &line);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const InfContents inf = pkgcheck::ReadInf(bytes, "fuzz.inf");
    Check(SameModels(inf, pkgcheck::ReadInf(bytes, "fuzz.inf")));
    Check((inf.document == nullptr) == !inf.error.empty());
    for (std::size_t j = 0; j < inf.ids.size(); ++j)
        Check(inf.ids[j].section < inf.sections.size() && !inf.Id(j).empty());
    pkgcheck::Nt5Text(inf);
    for (std::uint32_t k = 0; k < inf.otherIds.size(); ++k) {
        pkgcheck::SectionSet set;
        pkgcheck::AddPlaces(inf, k, &set);
        pkgcheck::SectionsText(inf, set);
    }
    if (inf.document == nullptr) return 0;
    const InfFile& file = inf.document->File();
    WalkSections(file);
    ReadAllFields(file);
    FollowPayload(inf, file);
    for (const pkgcheck::InfInstall& install : inf.installs)
        pkgcheck::ServiceBinariesOf(file, install.name);
    return 0;
}
