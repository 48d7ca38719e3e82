#pragma once
// What each of the served systems verifies in a catalog's signature, from
// SignatureSystems.tsv (a source per row).

#include <string>
#include <vector>

namespace pkgcheck {

struct SystemSignatureSupport {
    std::string system;        // "XP SP3"
    std::string architecture;  // x86, amd64
    std::string osAttr;        // 2:5.1
    bool sha1 = false;         // a SHA-1 signer digest
    bool sha256 = false;       // a SHA-256 signer digest
    bool sha256Certificates = false;
    std::vector<int> catalogVersions;
    std::string source;
};

const std::vector<SystemSignatureSupport>& SignatureSystems();

// The rows for the systems an INF serves on an architecture, as OSAttr
// names them (2:5.0, 2:5.1, 2:5.2).
std::vector<const SystemSignatureSupport*> SignatureSystemsFor(
    const std::string& architecture, const std::vector<std::string>& osAttrs);

}  // namespace pkgcheck
