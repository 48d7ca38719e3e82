#include "pkgcheck/catalog/TrustedRoots.h"

#include <algorithm>
#include <iterator>

#include "pkgcheck/catalog/Sha1.h"
#include "pkgcheck/catalog/SignatureSystems.h"
#include "pkgcheck/read/Text.h"

namespace pkgcheck {

extern const char kTrustedRootsTsv[];

namespace {

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// The families of KB 293781's tables, as the OSAttr of the systems that
// belong to them (TrustedRoots.tsv's header says why XP x64 is 2003).
constexpr struct {
    std::string_view family;
    const char* osAttr;
} kFamilies[] = {{"2000", "2:5.0"}, {"XP", "2:5.1"}, {"2003", "2:5.2"}};

// The systems of a row's families, or false on a family that is none of them.
bool SystemsOf(std::string_view families, std::vector<std::string>* systems) {
    for (const std::string_view family : Split(families, ',')) {
        const auto* const known = std::find_if(std::begin(kFamilies), std::end(kFamilies),
                                               [&](const auto& f) { return f.family == family; });
        if (known == std::end(kFamilies)) return false;
        for (const SystemSignatureSupport& row : SignatureSystems())
            if (row.osAttr == known->osAttr) systems->push_back(row.system);
    }
    return true;
}

std::vector<std::string> EverySystem() {
    std::vector<std::string> systems;
    for (const SystemSignatureSupport& row : SignatureSystems()) systems.push_back(row.system);
    return systems;
}

}  // namespace

bool DecodeBase64(std::string_view text, std::string* bytes) {
    bytes->clear();
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=' || IsBlank(c) || c == '\r' || c == '\n') continue;
        const int value = Base64Value(c);
        if (value < 0) return false;
        bits = (bits << 6 | static_cast<unsigned>(value)) & 0xFFFFFF;
        if ((count += 6) >= 8) {
            count -= 8;
            *bytes += static_cast<char>(bits >> count & 0xFF);
        }
    }
    return true;
}

TrustStore TrustStore::Microsoft(std::vector<std::string>* problems) {
    TrustStore store;
    for (const std::string_view line : Split(kTrustedRootsTsv, '\n')) {
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string_view> f = Split(line, '\t');
        std::string der;
        std::vector<std::string> systems;
        std::string error;
        if (f.size() != 5 || !DecodeBase64(f[4], &der)) {
            error = "a row that is not name, thumbprint, systems, source and base64";
        } else if (!SystemsOf(f[2], &systems)) {
            error = "systems " + std::string(f[2]) + " that are not of 2000, XP and 2003";
        } else if (HexDigest(Sha1Of(der)) != UpperAscii(f[1])) {
            error = "a certificate whose SHA-1 thumbprint is not " + std::string(f[1]);
        } else {
            store.Add(std::move(der), std::string(f[0]), std::string(f[3]), std::move(systems),
                      true, &error);
        }
        if (!error.empty() && problems != nullptr)
            problems->push_back("TrustedRoots.tsv: " + std::string(f[0]) + ": " + error);
    }
    return store;
}

bool TrustStore::AddPem(std::string_view text, const std::string& file, std::string* error) {
    static constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
    static constexpr std::string_view kEnd = "-----END CERTIFICATE-----";
    std::size_t found = 0;
    for (std::size_t at = text.find(kBegin); at != std::string_view::npos;
         at = text.find(kBegin, at)) {
        at += kBegin.size();
        const std::size_t end = text.find(kEnd, at);
        std::string der;
        if (end == std::string_view::npos || !DecodeBase64(text.substr(at, end - at), &der)) {
            *error = file + ": a certificate without its end, or not in base64";
            return false;
        }
        // A root of the builder's own counts on every system: the builder says so.
        if (!Add(std::move(der), "", file, EverySystem(), false, error)) {
            *error = file + ": " + *error;
            return false;
        }
        ++found;
        at = end;
    }
    if (found == 0) *error = file + ": no PEM certificate (-----BEGIN CERTIFICATE-----) in it";
    return found > 0;
}

bool TrustStore::Add(std::string der, std::string name, std::string source,
                     std::vector<std::string> systems, bool microsoft, std::string* error) {
    auto root = std::make_unique<TrustedRoot>();
    root->der = std::move(der);
    if (!ReadCertificate(root->der, &root->certificate, error)) return false;
    root->name = name.empty() ? root->certificate.subjectText : std::move(name);
    root->source = std::move(source);
    root->microsoft = microsoft;
    root->systems = std::move(systems);
    roots_.push_back(std::move(root));
    return true;
}

const TrustedRoot* TrustStore::ByKey(std::string_view publicKey) const {
    for (const auto& root : roots_)
        if (root->certificate.publicKey == publicKey) return root.get();
    return nullptr;
}

}  // namespace pkgcheck
