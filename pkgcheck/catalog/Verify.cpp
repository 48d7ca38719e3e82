#include "pkgcheck/catalog/Verify.h"

#include <algorithm>

#include "pkgcheck/catalog/Crypto.h"
#include "pkgcheck/catalog/SignedData.h"

namespace pkgcheck {
namespace {

constexpr int kMaxChain = 10;

bool SignedBy(const Certificate& cert, const Certificate& issuer) {
    const HashAlgorithm algorithm = HashByOid(cert.signatureAlgorithm);
    return RsaVerifies(issuer.modulus, issuer.exponent, algorithm,
                       Digest(algorithm, cert.signedPart), cert.signature);
}

ChainLink LinkOf(const Certificate& cert, bool root) {
    ChainLink link;
    link.subject = cert.subjectText;
    link.issuer = cert.issuerText;
    link.notBefore = cert.notBefore;
    link.notAfter = cert.notAfter;
    const char* digest = HashName(HashByOid(cert.signatureAlgorithm));
    link.signatureDigest = *digest != '\0' ? digest : cert.signatureAlgorithm;
    link.trustedRoot = root;
    return link;
}

// Where a chain ends: at a trusted root (`root` set), or why not.
struct ChainEnd {
    const TrustedRoot* root = nullptr;
    std::string problemKind;
    std::string problem;
};

class Verifier {
public:
    Verifier(std::string_view catalog, const TrustStore& trust, std::int64_t now)
        : parts_(ReadSignedParts(catalog)), trust_(trust), now_(now) {}

    SignatureVerdict Run() {
        out_.checkedAt = now_;
        if (parts_.signerItems == 0) return out_;
        out_.present = true;
        if (parts_.signers.empty()) {
            Problem(kSignatureBroken, "its signer info is not one these systems can read");
            return out_;
        }
        for (const std::string_view der : parts_.certificates) {
            Certificate cert;
            std::string error;
            if (ReadCertificate(der, &cert, &error)) certificates_.push_back(cert);
        }
        Check(parts_.signers.front());
        out_.verified = out_.problemKind.empty();
        return out_;
    }

private:
    void Problem(const char* kind, std::string words) {
        if (!out_.problemKind.empty()) return;
        out_.problemKind = kind;
        out_.problem = std::move(words);
    }

    const Certificate* Find(const SignerInfo& signer) const {
        for (const Certificate& cert : certificates_)
            if (cert.issuer == signer.issuer && cert.serial == signer.serial) return &cert;
        return nullptr;
    }

    // The signer's signature: the content against the messageDigest
    // attribute, the attributes against the signature with the signer's key.
    bool SignatureHolds(const SignerInfo& signer, std::string_view content, const Certificate& cert,
                        std::string* why) const {
        const HashAlgorithm algorithm = HashByOid(signer.digestAlgorithm);
        if (algorithm == HashAlgorithm::kUnknown) {
            *why = "its digest algorithm " + signer.digestAlgorithm + " is none these systems know";
            return false;
        }
        std::string signedDigest = Digest(algorithm, content);
        if (!signer.authenticated.empty()) {
            if (signer.messageDigest != signedDigest) {
                *why =
                    "the catalog changed after it was signed: the digest it was signed with "
                    "is not the digest of its content now";
                return false;
            }
            signedDigest = Digest(algorithm, signer.authenticated);
        }
        if (cert.modulus.empty()) {
            *why = "the signer's key is no RSA key, which these systems verify";
            return false;
        }
        if (!RsaVerifies(cert.modulus, cert.exponent, algorithm, signedDigest, signer.signature)) {
            *why = "the signature does not verify with the key of " + cert.subjectText +
                   ": the signature, or what it signs, changed after signing";
            return false;
        }
        return true;
    }

    void Check(const SignerInfo& signer) {
        const char* const digest = HashName(HashByOid(signer.digestAlgorithm));
        out_.digestAlgorithm = *digest != '\0' ? digest : signer.digestAlgorithm;
        const Certificate* const cert = Find(signer);
        if (cert == nullptr)
            return Problem(kSignatureBroken,
                           "the catalog does not carry the signer's certificate, so its "
                           "signature cannot be verified");
        out_.signer = cert->subjectText;
        std::string why;
        if (!SignatureHolds(signer, parts_.content, *cert, &why))
            return Problem(kSignatureBroken, why);
        ReadTimestamp(signer);
        std::vector<ChainLink> chain;
        const ChainEnd end = BuildChain(*cert, &chain);
        out_.chain = chain;
        for (const ChainLink& link : chain)
            out_.sha2Certificates |= !link.trustedRoot && IsSha2Name(link.signatureDigest);
        if (end.root == nullptr) return Problem(end.problemKind.c_str(), end.problem);
        out_.root = end.root->name;
        out_.microsoftRoot = end.root->microsoft;
        out_.rootSystems = end.root->systems;
        out_.driverSigning =
            end.root->microsoft && std::find(cert->usages.begin(), cert->usages.end(),
                                             kOidDriverVerification) != cert->usages.end();
        CheckValidity();
    }

    // A countersignature counts when it signs the signer's signature and
    // its own chain ends at a trusted root.
    void ReadTimestamp(const SignerInfo& signer) {
        for (const SignerInfo& counter : signer.counterSigners) {
            const Certificate* const cert = Find(counter);
            std::string why;
            if (cert == nullptr || !counter.hasSigningTime ||
                !SignatureHolds(counter, signer.signature, *cert, &why))
                continue;
            std::vector<ChainLink> chain;
            if (BuildChain(*cert, &chain).root == nullptr) continue;
            out_.hasTimestamp = true;
            out_.timestamp = counter.signingTime;
            out_.checkedAt = counter.signingTime;
            return;
        }
    }

    ChainEnd BuildChain(const Certificate& signer, std::vector<ChainLink>* chain) const {
        ChainEnd end;
        const Certificate* current = &signer;
        for (int depth = 0; depth < kMaxChain; ++depth) {
            // A root is known by its key, whatever the certificate's name.
            if (const TrustedRoot* root = trust_.ByKey(current->publicKey)) {
                chain->push_back(LinkOf(*current, true));
                end.root = root;
                return end;
            }
            chain->push_back(LinkOf(*current, false));
            bool borrowed = false;
            for (const auto& root : trust_.roots()) {
                if (root->certificate.subject != current->issuer) continue;
                if (SignedBy(*current, root->certificate)) {
                    chain->push_back(LinkOf(root->certificate, true));
                    end.root = root.get();
                    return end;
                }
                borrowed = true;
            }
            const Certificate* next = nullptr;
            bool named = false;
            if (current->issuer != current->subject) {
                for (const Certificate& cert : certificates_) {
                    if (cert.subject != current->issuer) continue;
                    named = true;
                    if (SignedBy(*current, cert)) {
                        next = &cert;
                        break;
                    }
                }
            }
            if (next == nullptr) return Stop(*current, borrowed, named);
            current = next;
        }
        end.problemKind = kSignatureUntrusted;
        end.problem = "the chain is longer than " + std::to_string(kMaxChain) + " certificates";
        return end;
    }

    static ChainEnd Stop(const Certificate& last, bool borrowed, bool named) {
        ChainEnd end;
        end.problemKind = kSignatureUntrusted;
        if (named) {
            end.problemKind = kSignatureBroken;
            end.problem = "the certificate of " + last.subjectText +
                          " does not verify with the key of its issuer " + last.issuerText;
        } else if (borrowed) {
            end.problem = "the chain ends at " + last.subjectText + ", issued in the name of " +
                          last.issuerText +
                          ", a trusted root whose key did not sign it: the name is borrowed";
        } else if (last.issuer == last.subject) {
            end.problem = "the chain ends at " + last.subjectText +
                          ", a root of its own that these systems do not trust (pkgcheck "
                          "trusts it when given with --trust)";
        } else {
            end.problem = "the chain stops at " + last.subjectText + ": its issuer " +
                          last.issuerText + " is neither in the catalog nor a trusted root";
        }
        return end;
    }

    void CheckValidity() {
        const std::string when = out_.hasTimestamp ? "at the timestamp, " : "now, ";
        for (const ChainLink& link : out_.chain) {
            if (out_.checkedAt >= link.notBefore && out_.checkedAt <= link.notAfter) continue;
            return Problem(kSignatureExpired,
                           "the certificate of " + link.subject + " is valid from " +
                               TimeText(link.notBefore) + " to " + TimeText(link.notAfter) +
                               ", not " + when + TimeText(out_.checkedAt) +
                               (out_.hasTimestamp ? "" : " (the catalog has no timestamp)"));
        }
    }

    SignedParts parts_;
    const TrustStore& trust_;
    std::int64_t now_;
    std::vector<Certificate> certificates_;
    SignatureVerdict out_;
};

}  // namespace

SignatureVerdict VerifyCatalogSignature(std::string_view catalog, const TrustStore& trust,
                                        std::int64_t now) {
    return Verifier(catalog, trust, now).Run();
}

}  // namespace pkgcheck
