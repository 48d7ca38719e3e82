// pkgcheck's INF reader on any bytes: whatever the encoding, the sections,
// the [Strings] tokens and the quoting, the file is read (or refused in
// words) without a read out of bounds or a crash, and reading the same bytes
// again gives the same models.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "pkgcheck/inf/Inf.h"
#include "pkgcheck/inf/InfPlaces.h"
#include "pkgcheck/inf/InfServices.h"
#include "pkgcheck/inf/InfText.h"
#include "pkgcheck/read/Text.h"

namespace {

using pkgcheck::InfContents;
using pkgcheck::InfFile;
using pkgcheck::LogicalLine;

void Check(bool ok) {
    if (!ok) std::abort();
}

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
    for (const pkgcheck::InfInstall& install : inf.installs)
        pkgcheck::ServiceBinariesOf(file, install.name);
    return 0;
}
