#pragma once
// An X.509 certificate as a catalog carries it, read with our DER reader:
// what a chain is built and checked with. Every view points into the bytes
// the certificate was read from.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pkgcheck {

struct Certificate {
    std::string_view der;         // the whole certificate
    std::string_view signedPart;  // the TBSCertificate, as its signature covers it
    std::string_view serial;      // the serial number's content octets
    std::string_view issuer;      // the issuer's Name, whole, as it is compared
    std::string_view subject;
    std::string issuerText;  // "CN=..., O=..." for people
    std::string subjectText;
    std::int64_t notBefore = 0;  // seconds since 1970, UTC
    std::int64_t notAfter = 0;
    std::string signatureAlgorithm;  // dotted, of the issuer's signature over `signedPart`
    std::string_view signature;      // that signature's bits
    std::string_view publicKey;      // the SubjectPublicKeyInfo, whole: the key's identity
    std::string_view modulus;        // of an RSA key; empty for another kind
    std::string_view exponent;
    bool hasUsages = false;           // an extended key usage extension is there
    std::vector<std::string> usages;  // its purposes, dotted
};

// False, with `error` saying why, when `der` (one DER item, nothing after it)
// is no certificate.
bool ReadCertificate(std::string_view der, Certificate* out, std::string* error);

// A UTCTime or GeneralizedTime's text, "110913135242Z", as seconds since
// 1970; false when it is neither.
bool ReadDerTime(unsigned tag, std::string_view text, std::int64_t* seconds);

// The date "2011-09-13 13:52:42 UTC".
std::string TimeText(std::int64_t seconds);

}  // namespace pkgcheck
