#include "pkgcheck/catalog/SignedData.h"

#include "pkgcheck/catalog/Certificate.h"
#include "pkgcheck/catalog/Der.h"

namespace pkgcheck {
namespace {

constexpr const char* kOidMessageDigest = "1.2.840.113549.1.9.4";
constexpr const char* kOidSigningTime = "1.2.840.113549.1.9.5";
constexpr const char* kOidCounterSignature = "1.2.840.113549.1.9.6";
constexpr int kMaxCounterSignatureDepth = 2;

bool Take(DerReader& in, unsigned tag, DerItem* item) { return in.Next(item) && item->tag == tag; }

std::string AlgorithmOid(const DerReader& outer, const DerItem& algorithm) {
    DerReader fields = outer.Inside(algorithm);
    DerItem oid;
    return Take(fields, kDerOid, &oid) ? OidText(oid.content) : "";
}

class PartsReader {
public:
    explicit PartsReader(std::string_view bytes) : file_(bytes, bytes.data()) {}

    SignedParts Run() {
        Read();
        return std::move(out_);
    }

private:
    void Fail(const char* why) {
        if (out_.error.empty()) out_.error = why;
    }

    // ContentInfo { OID, [0] SignedData { version, digestAlgorithms,
    // ContentInfo { OID, [0] content }, [0] certificates, [1] CRLs,
    // signerInfos } }
    void Read() {
        DerItem item;
        DerItem wrapper;
        DerItem signedData;
        if (!Take(file_, kDerSequence, &item)) return Fail("no ContentInfo");
        DerReader info = file_.Inside(item);
        if (!Take(info, kDerOid, &item) || !Take(info, kDerContext0, &wrapper))
            return Fail("no SignedData");
        DerReader outer = info.Inside(wrapper);
        if (!Take(outer, kDerSequence, &signedData)) return Fail("no SignedData");
        DerReader fields = outer.Inside(signedData);
        DerItem content;
        if (!Take(fields, kDerInteger, &item) || !Take(fields, kDerSet, &item) ||
            !Take(fields, kDerSequence, &content))
            return Fail("no signed content");
        ReadContent(fields, content);
        while (fields.Next(&item)) {
            if (item.tag == kDerContext0) ReadCertificates(fields, item);
            if (item.tag != kDerSet) continue;
            DerReader signers = fields.Inside(item);
            DerItem signer;
            while (signers.Next(&signer)) {
                ++out_.signerItems;
                SignerInfo read;
                if (ReadSigner(signers, signer, 0, &read)) out_.signers.push_back(std::move(read));
            }
            return;
        }
        Fail("no signer infos");
    }

    // The digest covers the content's value: the content octets of the
    // item inside [0], without its own identifier and length.
    void ReadContent(const DerReader& outer, const DerItem& content) {
        DerReader parts = outer.Inside(content);
        DerItem item;
        DerItem wrapper;
        if (!Take(parts, kDerOid, &item) || !Take(parts, kDerContext0, &wrapper)) return;
        DerReader inner = parts.Inside(wrapper);
        if (inner.Next(&item)) out_.content = item.content;
    }

    void ReadCertificates(const DerReader& outer, const DerItem& set) {
        DerReader each = outer.Inside(set);
        DerItem certificate;
        while (each.Next(&certificate))
            if (certificate.tag == kDerSequence) out_.certificates.push_back(certificate.element);
    }

    // SignerInfo { version, IssuerAndSerialNumber, digestAlgorithm, [0]
    // authenticatedAttributes, digestEncryptionAlgorithm, encryptedDigest,
    // [1] unauthenticatedAttributes }
    bool ReadSigner(const DerReader& outer, const DerItem& signer, int depth, SignerInfo* out) {
        if (signer.tag != kDerSequence) return false;
        DerReader fields = outer.Inside(signer);
        DerItem item;
        DerItem id;
        if (!Take(fields, kDerInteger, &item) || !Take(fields, kDerSequence, &id)) return false;
        DerReader idParts = fields.Inside(id);
        DerItem issuer;
        DerItem serial;
        if (!Take(idParts, kDerSequence, &issuer) || !Take(idParts, kDerInteger, &serial))
            return false;
        out->issuer = issuer.element;
        out->serial = serial.content;
        if (!Take(fields, kDerSequence, &item)) return false;
        out->digestAlgorithm = AlgorithmOid(fields, item);
        if (!fields.Next(&item)) return false;
        if (item.tag == kDerContext0) {
            // Signed as the SET it is, not under the implicit tag it carries here.
            out->authenticated = std::string(item.element);
            out->authenticated[0] = static_cast<char>(kDerSet);
            ReadAttributes(fields, item, depth, out);
            if (!fields.Next(&item)) return false;
        }
        if (item.tag != kDerSequence) return false;
        out->encryptionAlgorithm = AlgorithmOid(fields, item);
        if (!Take(fields, kDerOctetString, &item)) return false;
        out->signature = item.content;
        if (fields.Next(&item) && item.tag == (kDerContext0 | 1))
            ReadAttributes(fields, item, depth, out);
        return true;
    }

    // Attribute { OID, SET OF value }
    void ReadAttributes(const DerReader& outer, const DerItem& set, int depth, SignerInfo* out) {
        DerReader each = outer.Inside(set);
        DerItem attribute;
        while (each.Next(&attribute)) {
            if (attribute.tag != kDerSequence) continue;
            DerReader parts = each.Inside(attribute);
            DerItem oid;
            DerItem values;
            if (!Take(parts, kDerOid, &oid) || !Take(parts, kDerSet, &values)) continue;
            const std::string type = OidText(oid.content);
            DerReader valueList = parts.Inside(values);
            DerItem value;
            if (!valueList.Next(&value)) continue;
            if (type == kOidMessageDigest && value.tag == kDerOctetString)
                out->messageDigest = value.content;
            if (type == kOidSigningTime)
                out->hasSigningTime = ReadDerTime(value.tag, value.content, &out->signingTime);
            if (type == kOidCounterSignature && depth < kMaxCounterSignatureDepth) {
                SignerInfo counter;
                if (ReadSigner(valueList, value, depth + 1, &counter))
                    out->counterSigners.push_back(std::move(counter));
            }
        }
    }

    DerReader file_;
    SignedParts out_;
};

}  // namespace

SignedParts ReadSignedParts(std::string_view bytes) { return PartsReader(bytes).Run(); }

}  // namespace pkgcheck
