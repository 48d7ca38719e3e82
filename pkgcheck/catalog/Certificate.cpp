#include "pkgcheck/catalog/Certificate.h"

#include <cstdio>

#include "pkgcheck/catalog/Der.h"

namespace pkgcheck {
namespace {

constexpr const char* kOidRsa = "1.2.840.113549.1.1.1";
constexpr const char* kOidExtendedKeyUsage = "2.5.29.37";

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool Digits(std::string_view text, std::size_t at, std::size_t count, unsigned* value) {
    *value = 0;
    if (text.size() < at + count) return false;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        *value = *value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return true;
}

// The short names of the attributes a name is shown by.
const char* AttributeName(const std::string& oid) {
    if (oid == "2.5.4.3") return "CN";
    if (oid == "2.5.4.10") return "O";
    if (oid == "2.5.4.11") return "OU";
    if (oid == "2.5.4.6") return "C";
    if (oid == "2.5.4.7") return "L";
    if (oid == "2.5.4.8") return "ST";
    return nullptr;
}

// Name: SEQUENCE OF SET OF { OID, string }, shown most specific first, as
// Windows shows a subject.
std::string NameText(const DerReader& outer, const DerItem& name) {
    std::string text;
    DerReader sets = outer.Inside(name);
    DerItem set;
    while (sets.Next(&set)) {
        DerReader pairs = sets.Inside(set);
        DerItem pair;
        while (pairs.Next(&pair)) {
            DerReader parts = pairs.Inside(pair);
            DerItem oid;
            DerItem value;
            if (!parts.Next(&oid) || oid.tag != kDerOid || !parts.Next(&value)) continue;
            const char* const label = AttributeName(OidText(oid.content));
            if (label == nullptr) continue;
            std::string shown;
            if (value.tag == kDerBmpString) {
                for (std::size_t i = 1; i < value.content.size(); i += 2) shown += value.content[i];
            } else {
                shown = std::string(value.content);
            }
            text = std::string(label) + "=" + shown + (text.empty() ? "" : ", ") + text;
        }
    }
    return text;
}

class CertificateReader {
public:
    CertificateReader(std::string_view der, Certificate* out, std::string* error)
        : file_(der, der.data()), der_(der), out_(*out), error_(*error) {}

    bool Run() {
        DerItem top;
        if (!file_.Next(&top) || top.tag != kDerSequence || !file_.AtEnd())
            return Fail("no certificate (a DER SEQUENCE) there");
        out_.der = top.element;
        DerReader parts = file_.Inside(top);
        DerItem tbs;
        DerItem algorithm;
        DerItem signature;
        if (!Take(parts, kDerSequence, &tbs) || !Take(parts, kDerSequence, &algorithm) ||
            !Take(parts, kDerBitString, &signature) || signature.content.empty())
            return Fail("a certificate without its signed part, algorithm or signature");
        out_.signedPart = tbs.element;
        out_.signatureAlgorithm = AlgorithmOid(parts, algorithm);
        out_.signature = signature.content.substr(1);  // after the count of unused bits
        return ReadSignedPart(parts, tbs);
    }

private:
    bool Fail(const char* why) {
        if (error_.empty()) error_ = why;
        return false;
    }

    static bool Take(DerReader& in, unsigned tag, DerItem* item) {
        return in.Next(item) && item->tag == tag;
    }

    static std::string AlgorithmOid(const DerReader& outer, const DerItem& algorithm) {
        DerReader fields = outer.Inside(algorithm);
        DerItem oid;
        return Take(fields, kDerOid, &oid) ? OidText(oid.content) : "";
    }

    // TBSCertificate { [0] version, serial, signature, issuer, validity,
    // subject, subjectPublicKeyInfo, [1] [2] unique ids, [3] extensions }
    bool ReadSignedPart(const DerReader& outer, const DerItem& tbs) {
        DerReader fields = outer.Inside(tbs);
        DerItem item;
        if (!fields.Next(&item)) return Fail("an empty certificate");
        if (item.tag == kDerContext0 && !fields.Next(&item)) return Fail("a certificate cut short");
        if (item.tag != kDerInteger) return Fail("a certificate without its serial number");
        out_.serial = item.content;
        DerItem issuer;
        DerItem validity;
        DerItem subject;
        DerItem key;
        if (!Take(fields, kDerSequence, &item) || !Take(fields, kDerSequence, &issuer) ||
            !Take(fields, kDerSequence, &validity) || !Take(fields, kDerSequence, &subject) ||
            !Take(fields, kDerSequence, &key))
            return Fail("a certificate without its issuer, validity, subject or key");
        out_.issuer = issuer.element;
        out_.subject = subject.element;
        out_.issuerText = NameText(fields, issuer);
        out_.subjectText = NameText(fields, subject);
        if (!ReadValidity(fields, validity)) return Fail("a certificate without its validity");
        ReadKey(fields, key);
        while (fields.Next(&item))
            if (item.tag == (kDerContext0 | 3)) ReadExtensions(fields, item);
        return fields.error().empty() || Fail("a damaged certificate");
    }

    bool ReadValidity(const DerReader& outer, const DerItem& validity) {
        DerReader times = outer.Inside(validity);
        DerItem from;
        DerItem to;
        return times.Next(&from) && times.Next(&to) &&
               ReadDerTime(from.tag, from.content, &out_.notBefore) &&
               ReadDerTime(to.tag, to.content, &out_.notAfter);
    }

    // SubjectPublicKeyInfo { AlgorithmIdentifier, BIT STRING { RSAPublicKey
    // { modulus, publicExponent } } }
    void ReadKey(const DerReader& outer, const DerItem& key) {
        out_.publicKey = key.element;
        DerReader parts = outer.Inside(key);
        DerItem algorithm;
        DerItem bits;
        if (!Take(parts, kDerSequence, &algorithm) || AlgorithmOid(parts, algorithm) != kOidRsa ||
            !Take(parts, kDerBitString, &bits) || bits.content.size() < 2)
            return;
        DerReader inner(bits.content.substr(1), der_.data(), bits.depth + 1);
        DerItem rsa;
        DerItem modulus;
        DerItem exponent;
        if (!Take(inner, kDerSequence, &rsa)) return;
        DerReader numbers = inner.Inside(rsa);
        if (!Take(numbers, kDerInteger, &modulus) || !Take(numbers, kDerInteger, &exponent)) return;
        out_.modulus = modulus.content;
        out_.exponent = exponent.content;
    }

    // [3] { Extensions { Extension { OID, [critical], OCTET STRING } } }
    void ReadExtensions(const DerReader& outer, const DerItem& wrapper) {
        DerReader list = outer.Inside(wrapper);
        DerItem extensions;
        if (!Take(list, kDerSequence, &extensions)) return;
        DerReader each = list.Inside(extensions);
        DerItem extension;
        while (each.Next(&extension)) {
            if (extension.tag != kDerSequence) continue;
            DerReader parts = each.Inside(extension);
            DerItem part;
            if (!Take(parts, kDerOid, &part) || OidText(part.content) != kOidExtendedKeyUsage)
                continue;
            while (parts.Next(&part) && part.tag != kDerOctetString) {
            }
            if (part.tag != kDerOctetString) continue;
            out_.hasUsages = true;
            DerReader inner(part.content, der_.data(), part.depth + 1);
            DerItem usages;
            if (!Take(inner, kDerSequence, &usages)) continue;
            DerReader oids = inner.Inside(usages);
            DerItem oid;
            while (oids.Next(&oid))
                if (oid.tag == kDerOid) out_.usages.push_back(OidText(oid.content));
        }
    }

    DerReader file_;
    std::string_view der_;
    Certificate& out_;
    std::string& error_;
};

}  // namespace

bool ReadCertificate(std::string_view der, Certificate* out, std::string* error) {
    *out = Certificate();
    error->clear();
    return CertificateReader(der, out, error).Run();
}

bool ReadDerTime(unsigned tag, std::string_view text, std::int64_t* seconds) {
    unsigned year = 0;
    std::size_t at = 0;
    if (tag == kDerUtcTime) {
        if (!Digits(text, 0, 2, &year)) return false;
        year += year < 50 ? 2000 : 1900;  // how X.509 reads a two-digit year
        at = 2;
    } else if (tag == kDerGeneralizedTime) {
        if (!Digits(text, 0, 4, &year)) return false;
        at = 4;
    } else {
        return false;
    }
    unsigned month = 0;
    unsigned day = 0;
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
    if (!Digits(text, at, 2, &month) || !Digits(text, at + 2, 2, &day) ||
        !Digits(text, at + 4, 2, &hour) || !Digits(text, at + 6, 2, &minute))
        return false;
    at += 8;
    if (Digits(text, at, 2, &second)) at += 2;
    if (at >= text.size() || text[at] != 'Z') return false;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return false;
    *seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

std::string TimeText(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // The inverse of DaysFromCivil.
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned day = doy - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02u:%02u:%02u UTC",
                  static_cast<long long>(year), month, day, static_cast<unsigned>(rest / 3600),
                  static_cast<unsigned>(rest / 60 % 60), static_cast<unsigned>(rest % 60));
    return text;
}

}  // namespace pkgcheck
