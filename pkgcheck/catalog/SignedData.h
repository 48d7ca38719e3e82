#pragma once
// The signing parts of a catalog's PKCS #7 SignedData: the content its
// signature covers, the certificates it carries and its signer infos, each
// with a countersignature (the timestamp) when it has one. Views point into
// the catalog's bytes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pkgcheck {

struct SignerInfo {
    std::string_view issuer;      // of the signer's certificate: its Name, whole
    std::string_view serial;      // and its serial number's content octets
    std::string digestAlgorithm;  // dotted
    std::string authenticated;    // the authenticated attributes as signed (a DER SET); empty: none
    std::string_view messageDigest;  // that attribute's value; empty: none
    bool hasSigningTime = false;
    std::int64_t signingTime = 0;     // seconds since 1970, UTC
    std::string encryptionAlgorithm;  // dotted
    std::string_view signature;       // the encrypted digest
    std::vector<SignerInfo> counterSigners;
};

struct SignedParts {
    std::string error;         // non-empty: the structure is not there; says why
    std::string_view content;  // the bytes that the messageDigest attribute is the digest of
    std::vector<std::string_view> certificates;  // each whole, as the catalog carries them
    std::vector<SignerInfo> signers;             // those that could be read
    std::size_t signerItems = 0;                 // all of them, read or not
};

SignedParts ReadSignedParts(std::string_view bytes);

}  // namespace pkgcheck
