#include "pkgcheck/catalog/Catalog.h"

#include "pkgcheck/catalog/Der.h"

namespace pkgcheck {
namespace {

constexpr const char* kOidSignedData = "1.2.840.113549.1.7.2";
constexpr const char* kOidTrustList = "1.3.6.1.4.1.311.10.1";
constexpr const char* kOidIndirectData = "1.3.6.1.4.1.311.2.1.4";
constexpr const char* kOidNameValue = "1.3.6.1.4.1.311.12.2.1";
constexpr const char* kOidMemberInfo = "1.3.6.1.4.1.311.12.2.2";
constexpr const char* kOidMemberListV2 = "1.3.6.1.4.1.311.12.1.3";

// UTF-16 to UTF-8, up to the first NUL; a lone surrogate becomes U+FFFD.
std::string Utf16Text(std::string_view bytes, bool bigEndian) {
    std::string text;
    const auto unit = [&](std::size_t i) -> unsigned {
        const unsigned a = static_cast<unsigned char>(bytes[i]);
        const unsigned b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        unsigned c = unit(i);
        if (c == 0) break;
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else if (c < 0x800) {
            text += static_cast<char>(0xC0 | c >> 6);
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            text += static_cast<char>(0xE0 | c >> 12);
            text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | c >> 18);
            text += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// Every item of the file, constructed ones opened, so that no length runs
// past its container anywhere; what is read afterwards is known to fit.
bool Walk(DerReader in, std::string* error) {
    DerItem item;
    while (in.Next(&item))
        if ((item.tag & 0x20) != 0 && !Walk(in.Inside(item), error)) return false;
    if (in.error().empty()) return true;
    if (error->empty()) *error = in.error();
    return false;
}

// The elements of a constructed item, in order.
struct Items {
    Items(const DerReader& outer, const DerItem& item) : in(outer.Inside(item)) {}
    bool Next(DerItem* item) { return in.Next(item); }
    // The next element when it has this tag.
    bool Next(unsigned tag, DerItem* item) { return in.Next(item) && item->tag == tag; }
    DerReader in;
};

// A name/value pair: SEQUENCE { BMPString name, INTEGER flags, OCTET STRING
// value in UTF-16LE }.
bool ReadNameValue(const DerReader& outer, const DerItem& pair, std::string* name,
                   std::string* value) {
    if (pair.tag != kDerSequence) return false;
    Items fields(outer, pair);
    DerItem field;
    if (!fields.Next(kDerBmpString, &field)) return false;
    *name = Upper(Utf16Text(field.content, true));
    if (!fields.Next(kDerInteger, &field) || !fields.Next(kDerOctetString, &field)) return false;
    *value = Utf16Text(field.content, false);
    return true;
}

class CatalogReader {
public:
    explicit CatalogReader(std::string_view bytes) : bytes_(bytes), file_(bytes, bytes.data()) {}

    Catalog Run() {
        Read();
        return std::move(out_);
    }

private:
    bool Fail(std::string message) {
        if (out_.error.empty()) out_.error = std::move(message);
        return false;
    }

    // The next element of `in`, which must have `tag`.
    bool Take(Items& in, unsigned tag, const char* what, DerItem* item) {
        if (!in.Next(item)) return Fail(std::string(what) + " is missing");
        if (item->tag != tag) return Fail(std::string(what) + " is not of its type");
        return true;
    }

    bool TakeOid(Items& in, const char* expected, const char* what, const char* holds) {
        DerItem oid;
        if (!Take(in, kDerOid, what, &oid)) return false;
        const std::string text = OidText(oid.content);
        if (text == expected) return true;
        return Fail(std::string(holds) + " (content type " + (text.empty() ? "invalid" : text) +
                    ")");
    }

    void Read() {
        if (bytes_.empty()) return void(Fail("the file is empty"));
        DerItem top;
        std::string error;
        if (!file_.Next(&top)) return void(Fail("no DER or BER structure: " + file_.error()));
        if (top.tag != kDerSequence) return void(Fail("no PKCS #7 ContentInfo at its start"));
        if (!Walk(file_.Inside(top), &error))
            return void(Fail("no DER or BER structure: " + error));
        // ContentInfo { signedData, [0] SignedData }
        Items info(file_, top);
        DerItem item;
        if (!TakeOid(info, kOidSignedData, "the content type", "holds no PKCS #7 SignedData") ||
            !Take(info, kDerContext0, "the SignedData", &item))
            return;
        Items wrapper(info.in, item);
        DerItem signedData;
        if (!Take(wrapper, kDerSequence, "the SignedData", &signedData)) return;
        // SignedData { version, digestAlgorithms, content, [0] certificates,
        // [1] CRLs, signerInfos }
        Items fields(wrapper.in, signedData);
        DerItem content;
        if (!Take(fields, kDerInteger, "the SignedData's version", &item) ||
            !Take(fields, kDerSet, "the digest algorithms", &item) ||
            !Take(fields, kDerSequence, "the signed content", &content))
            return;
        Items signedContent(fields.in, content);
        if (!TakeOid(signedContent, kOidTrustList, "the signed content's type",
                     "signs no certificate trust list") ||
            !Take(signedContent, kDerContext0, "the trust list", &item))
            return;
        Items list(signedContent.in, item);
        DerItem trustList;
        if (!Take(list, kDerSequence, "the trust list", &trustList)) return;
        if (!ReadList(list.in, trustList)) return;
        while (fields.Next(&item)) {
            if (item.tag == kDerContext0 || item.tag == (kDerContext0 | 1)) continue;
            if (item.tag != kDerSet) break;
            Items signers(fields.in, item);
            DerItem signer;
            while (signers.Next(&signer)) ++out_.signers;
            return;
        }
        Fail("the signer infos are missing");
    }

    // TrustList { [version], subjectUsage, [listIdentifier],
    // [sequenceNumber], thisUpdate, [nextUpdate], subjectAlgorithm,
    // [trustedSubjects], [0] [extensions] }
    bool ReadList(const DerReader& outer, const DerItem& trustList) {
        Items fields(outer, trustList);
        DerItem item;
        int sequences = 0;
        while (fields.Next(&item)) {
            if (item.tag == kDerContext0) ReadListAttributes(fields.in, item);
            if (item.tag != kDerSequence) continue;
            ++sequences;
            if (sequences == 2) ReadSubjectAlgorithm(fields.in, item);
            if (sequences == 3) ReadMembers(fields.in, item);
        }
        if (sequences < 2) return Fail("the trust list lacks its usage or its subject algorithm");
        return out_.error.empty();
    }

    // The member list's own identifier: Windows 8 brought a second one,
    // what MakeCat's CatalogVersion=2 writes:
    // https://learn.microsoft.com/en-us/windows/win32/seccrypto/makecat
    void ReadSubjectAlgorithm(const DerReader& outer, const DerItem& algorithm) {
        Items fields(outer, algorithm);
        DerItem oid;
        if (fields.Next(kDerOid, &oid) && OidText(oid.content) == kOidMemberListV2)
            out_.version = 2;
    }

    // Extensions { Extension { OID, [critical], OCTET STRING value } }: the
    // catalog's own name/value pairs, each DER inside the value.
    void ReadListAttributes(const DerReader& outer, const DerItem& wrapper) {
        Items extensions(outer, wrapper);
        DerItem list;
        if (!extensions.Next(kDerSequence, &list)) return;
        Items each(extensions.in, list);
        DerItem extension;
        while (each.Next(&extension)) {
            if (extension.tag != kDerSequence) continue;
            Items parts(each.in, extension);
            DerItem part;
            if (!parts.Next(kDerOid, &part) || OidText(part.content) != kOidNameValue) continue;
            while (parts.Next(&part) && part.tag != kDerOctetString) {
            }
            if (part.tag != kDerOctetString) continue;
            DerReader inner(part.content, bytes_.data(), part.depth + 1);
            DerItem pair;
            std::string name;
            std::string value;
            if (inner.Next(&pair) && ReadNameValue(inner, pair, &name, &value) && name == "OSATTR")
                out_.osAttr = value;
        }
    }

    // TrustedSubject { OCTET STRING tag, SET OF Attribute { OID, SET OF value } }
    void ReadMembers(const DerReader& outer, const DerItem& subjects) {
        Items each(outer, subjects);
        DerItem subject;
        while (each.Next(&subject)) {
            if (subject.tag != kDerSequence)
                return void(Fail("a member of the trust list is not of its type"));
            Items parts(each.in, subject);
            DerItem item;
            if (!Take(parts, kDerOctetString, "a member's tag", &item)) return;
            CatalogMember member;
            member.tag = Upper(Utf16Text(item.content, false));
            if (parts.Next(kDerSet, &item)) {
                Items attributes(parts.in, item);
                DerItem attribute;
                while (attributes.Next(&attribute)) ReadAttribute(attributes.in, attribute, member);
            }
            out_.members.push_back(std::move(member));
        }
    }

    void ReadAttribute(const DerReader& outer, const DerItem& attribute, CatalogMember& member) {
        if (attribute.tag != kDerSequence) return;
        Items parts(outer, attribute);
        DerItem item;
        if (!parts.Next(kDerOid, &item)) return;
        const std::string type = OidText(item.content);
        if (!parts.Next(kDerSet, &item)) return;
        Items values(parts.in, item);
        DerItem value;
        if (!values.Next(kDerSequence, &value)) return;
        Items fields(values.in, value);
        if (type == kOidIndirectData) {
            // { data, DigestInfo { AlgorithmIdentifier { OID, ... }, OCTET STRING } }
            DerItem digestInfo;
            DerItem algorithm;
            DerItem oid;
            if (!fields.Next(kDerSequence, &item) || !fields.Next(kDerSequence, &digestInfo))
                return;
            Items digest(fields.in, digestInfo);
            if (!digest.Next(kDerSequence, &algorithm)) return;
            Items algorithmFields(digest.in, algorithm);
            if (!algorithmFields.Next(kDerOid, &oid)) return;
            member.algorithm = OidText(oid.content);
            if (digest.Next(kDerOctetString, &item)) member.digest = std::string(item.content);
        } else if (type == kOidMemberInfo) {
            if (fields.Next(kDerBmpString, &item))
                member.subjectGuid = Upper(Utf16Text(item.content, true));
        } else if (type == kOidNameValue) {
            std::string name;
            std::string text;
            if (!ReadNameValue(values.in, value, &name, &text)) return;
            if (name == "FILE") member.file = text;
            if (name == "OSATTR") member.osAttr = text;
        }
    }

    std::string_view bytes_;
    DerReader file_;
    Catalog out_;
};

}  // namespace

Catalog ReadCatalog(std::string_view bytes) { return CatalogReader(bytes).Run(); }

std::string AlgorithmName(const std::string& oid) {
    if (oid == kOidSha1) return "SHA-1";
    if (oid == kOidSha256) return "SHA-256";
    if (oid == "2.16.840.1.101.3.4.2.2") return "SHA-384";
    if (oid == "2.16.840.1.101.3.4.2.3") return "SHA-512";
    if (oid == "1.2.840.113549.2.5") return "MD5";
    return oid.empty() ? "an unnamed algorithm" : oid;
}

}  // namespace pkgcheck
