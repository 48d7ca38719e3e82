#pragma once
// The catalog's signature verified offline, as 2000, XP and Server 2003 do
// before they take a driver package as signed: the content against the
// signed digest, the signature against the signer's key, the chain through
// the catalog's certificates to a trusted root, and each certificate's
// validity at the timestamp (else now).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pkgcheck/catalog/TrustedRoots.h"

namespace pkgcheck {

constexpr const char* kSignatureBroken = "catalog-signature-broken";
constexpr const char* kSignatureExpired = "catalog-signature-expired";
constexpr const char* kSignatureUntrusted = "untrusted";  // no finding of its own: unsigned there

struct ChainLink {
    std::string subject;  // as shown
    std::string issuer;
    std::int64_t notBefore = 0;
    std::int64_t notAfter = 0;
    std::string signatureDigest;  // of the issuer's signature: "sha1", "sha256", "md5", ...
    bool trustedRoot = false;     // the root the chain ends at
};

struct SignatureVerdict {
    bool present = false;  // the catalog has signer infos
    bool verified = false;
    std::string
        problemKind;      // kSignatureBroken, kSignatureExpired, kSignatureUntrusted; empty: none
    std::string problem;  // in words, when not verified
    std::string digestAlgorithm;   // of the signer: "sha1", "sha256", ...
    std::string signer;            // the signer's certificate's subject
    std::vector<ChainLink> chain;  // the signer's first, up to the root or where it stops
    std::string root;              // the trusted root's name; empty: none reached
    bool microsoftRoot = false;    // that root is one of Microsoft's, by its key
    // The systems that carry that root (SignatureSystems.tsv's names).
    std::vector<std::string> rootSystems;
    bool driverSigning = false;     // Microsoft's driver signing (WHQL)
    bool hasTimestamp = false;      // a countersignature that verifies, from a trusted root
    std::int64_t timestamp = 0;     // its time, seconds since 1970
    std::int64_t checkedAt = 0;     // the time the chain's validity was checked at
    bool sha2Certificates = false;  // a certificate of the chain is signed with SHA-2
};

// The Windows Hardware Driver Verification usage (szOID_WHQL_CRYPTO in
// wincrypt.h) that Microsoft's driver signing gives its signer: a WHQL
// release signature, as
// https://learn.microsoft.com/en-us/windows-hardware/drivers/install/pnp-device-installation-signing-requirements--windows-vista-and-later-
// tells it from a publisher's own.
constexpr const char* kOidDriverVerification = "1.3.6.1.4.1.311.10.3.5";

SignatureVerdict VerifyCatalogSignature(std::string_view catalog, const TrustStore& trust,
                                        std::int64_t now);

}  // namespace pkgcheck
