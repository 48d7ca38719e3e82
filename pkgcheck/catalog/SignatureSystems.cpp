#include "pkgcheck/catalog/SignatureSystems.h"

#include <algorithm>
#include <string_view>

#include "pkgcheck/read/Text.h"

namespace pkgcheck {

extern const char kSignatureSystemsTsv[];

namespace {

std::vector<SystemSignatureSupport> Load() {
    std::vector<SystemSignatureSupport> rows;
    for (const std::string_view line : Split(kSignatureSystemsTsv, '\n')) {
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string_view> f = Split(line, '\t');
        if (f.size() != 8) continue;  // the tests hold every row to its shape
        SystemSignatureSupport row;
        row.system = std::string(f[0]);
        row.architecture = std::string(f[1]);
        row.osAttr = std::string(f[2]);
        row.sha1 = f[3] == "yes";
        row.sha256 = f[4] == "yes";
        row.sha256Certificates = f[5] == "yes";
        for (const std::string_view version : Split(f[6], ','))
            if (!version.empty()) row.catalogVersions.push_back(version[0] - '0');
        row.source = std::string(f[7]);
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace

const std::vector<SystemSignatureSupport>& SignatureSystems() {
    static const std::vector<SystemSignatureSupport> rows = Load();
    return rows;
}

std::vector<const SystemSignatureSupport*> SignatureSystemsFor(
    const std::string& architecture, const std::vector<std::string>& osAttrs) {
    std::vector<const SystemSignatureSupport*> out;
    for (const SystemSignatureSupport& row : SignatureSystems())
        if (row.architecture == architecture &&
            std::find(osAttrs.begin(), osAttrs.end(), row.osAttr) != osAttrs.end())
            out.push_back(&row);
    return out;
}

}  // namespace pkgcheck
