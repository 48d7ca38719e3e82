#include "pkgcheck/catalog/TrustedRoots.h"

#include "pkgcheck/catalog/Sha1.h"
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
        std::string error;
        if (f.size() != 4 || !DecodeBase64(f[3], &der)) {
            error = "a row that is not name, thumbprint, source and base64";
        } else if (HexDigest(Sha1Of(der)) != UpperAscii(f[1])) {
            error = "a certificate whose SHA-1 thumbprint is not " + std::string(f[1]);
        } else {
            store.Add(std::move(der), std::string(f[0]), std::string(f[2]), true, &error);
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
        if (!Add(std::move(der), "", file, false, error)) {
            *error = file + ": " + *error;
            return false;
        }
        ++found;
        at = end;
    }
    if (found == 0) *error = file + ": no PEM certificate (-----BEGIN CERTIFICATE-----) in it";
    return found > 0;
}

bool TrustStore::Add(std::string der, std::string name, std::string source, bool microsoft,
                     std::string* error) {
    auto root = std::make_unique<TrustedRoot>();
    root->der = std::move(der);
    if (!ReadCertificate(root->der, &root->certificate, error)) return false;
    root->name = name.empty() ? root->certificate.subjectText : std::move(name);
    root->source = std::move(source);
    root->microsoft = microsoft;
    roots_.push_back(std::move(root));
    return true;
}

const TrustedRoot* TrustStore::ByKey(std::string_view publicKey) const {
    for (const auto& root : roots_)
        if (root->certificate.publicKey == publicKey) return root.get();
    return nullptr;
}

}  // namespace pkgcheck
