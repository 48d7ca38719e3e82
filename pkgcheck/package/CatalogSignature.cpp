#include "pkgcheck/package/CatalogSignature.h"

#include <algorithm>
#include <ctime>
#include <utility>

#include "pkgcheck/catalog/Crypto.h"
#include "pkgcheck/catalog/SignatureSystems.h"
#include "pkgcheck/read/Files.h"
#include "pkgcheck/read/Text.h"

namespace pkgcheck {
namespace {

// What these systems do with a package they take as unsigned, or as signed
// by a publisher other than Microsoft's driver signing, which 2000 and XP
// treat alike: kUnsignedSource.
constexpr const char* kNoBox = "installs without a box";
constexpr const char* kXpBox =
    "asks whether to install software that \"has not passed Windows Logo testing\" (for Plug "
    "and Play drivers of the device classes that certclas.inf lists); under the Block policy "
    "the installation fails";
constexpr const char* k2000Box =
    "shows \"Digital Signature Not Found\" and asks; under the Block policy the installation "
    "fails";

class Judge {
public:
    Judge(const std::string& catalog, const std::string& architecture,
          const std::vector<std::string>& osAttrs, const std::vector<std::string>& named,
          SignatureJudgement& out)
        : catalog_(catalog),
          rows_(SignatureSystemsFor(architecture, osAttrs)),
          named_(named),
          out_(out) {}

    void Run(SignatureVerdict verdict, int version) {
        out_.verdict = std::move(verdict);
        if (version != 1) Version(version);
        Findings();
        for (const SystemSignatureSupport* row : rows_) out_.systems.push_back(For(*row, version));
    }

private:
    std::string Names(bool (*cannot)(const SystemSignatureSupport&)) const {
        std::vector<std::string> names;
        for (const SystemSignatureSupport* row : rows_)
            if (cannot(*row)) names.push_back(row->system);
        return Enumerated(names, "and");
    }

    void Version(int version) {
        out_.errors.push_back(
            {"catalog-version", catalog_, 0, 0,
             "is a version " + std::to_string(version) +
                 " catalog (the member list of Windows 8 and later, CatalogVersion=2), which none "
                 "of " +
                 Names([](const SystemSignatureSupport&) { return true; }) +
                 " reads: they take every file of the package as unsigned"});
    }

    void Findings() {
        const SignatureVerdict& v = out_.verdict;
        if (!v.present) return;
        const std::string unsigned_ = ": " +
                                      Names([](const SystemSignatureSupport&) { return true; }) +
                                      " take the package as unsigned";
        if (v.problemKind == kSignatureBroken || v.problemKind == kSignatureExpired)
            out_.errors.push_back({v.problemKind, catalog_, 0, 0, v.problem + unsigned_});
        const bool sha2Digest = IsSha2Name(v.digestAlgorithm);
        const std::string digestless =
            Names([](const SystemSignatureSupport& r) { return !r.sha256; });
        if (sha2Digest && !digestless.empty())
            out_.warnings.push_back({"catalog-signature-sha2", catalog_, 0, 0,
                                     "is signed with a " + v.digestAlgorithm + " digest, which " +
                                         digestless +
                                         " cannot verify: there the package is unsigned (sign "
                                         "with osslsigncode -h sha1)"});
        const std::string certless =
            Names([](const SystemSignatureSupport& r) { return !r.sha256Certificates; });
        if (!sha2Digest && v.sha2Certificates && !certless.empty())
            out_.warnings.push_back({"catalog-signature-sha2", catalog_, 0, 0,
                                     "has certificates signed with SHA-2 in its chain, which " +
                                         certless +
                                         " cannot verify: there the package is unsigned"});
    }

    SystemVerdict For(const SystemSignatureSupport& row, int version) const {
        const SignatureVerdict& v = out_.verdict;
        const bool sha2Digest = IsSha2Name(v.digestAlgorithm);
        const bool named = std::find(named_.begin(), named_.end(), row.osAttr) != named_.end();
        // A system that does not carry the chain's root (TrustedRoots.tsv,
        // from KB 293781's tables) sees a chain to an unknown root.
        const bool carried = std::find(v.rootSystems.begin(), v.rootSystems.end(), row.system) !=
                             v.rootSystems.end();
        const bool readable = version == 1 && v.verified && named && carried &&
                              (!sha2Digest || row.sha256) &&
                              (!v.sha2Certificates || row.sha256Certificates);
        SystemVerdict out;
        out.system = row.system;
        if (v.verified && !carried)
            out.reason =
                "its chain ends at " + v.root + ", which " + row.system + " does not carry";
        out.takenAs = !readable ? "unsigned" : v.driverSigning ? "driver-signing" : "publisher";
        // Server 2003 is judged as XP here, unconfirmed: "Using SetupAPI to
        // verify driver Authenticode signatures" (learn.microsoft.com/en-us/
        // windows-hardware/drivers/install/using-setupapi-to-verify-driver-
        // authenticode-signatures) says such procedures "are supported
        // starting with Microsoft Windows Server 2003", so 2003 may take a
        // publisher's signature otherwise than as unsigned.
        const bool is2000 = row.osAttr == "2:5.0";
        out.consequence = out.takenAs == "driver-signing" ? kNoBox : is2000 ? k2000Box : kXpBox;
        return out;
    }

    const std::string& catalog_;
    std::vector<const SystemSignatureSupport*> rows_;
    const std::vector<std::string>& named_;
    SignatureJudgement& out_;
};

}  // namespace

SignatureJudgement JudgeCatalogSignature(std::string_view bytes, int catalogVersion,
                                         const std::string& catalogShown,
                                         const std::string& architecture,
                                         const std::vector<std::string>& osAttrs,
                                         const std::vector<std::string>& namedByCatalog,
                                         bool covered, const TrustStore& trust, std::int64_t now) {
    return JudgeSignatureVerdict(
        VerifyCatalogSignature(bytes, trust, now != 0 ? now : std::time(nullptr)), catalogVersion,
        catalogShown, architecture, osAttrs, namedByCatalog, covered);
}

SignatureJudgement JudgeSignatureVerdict(SignatureVerdict verdict, int catalogVersion,
                                         const std::string& catalogShown,
                                         const std::string& architecture,
                                         const std::vector<std::string>& osAttrs,
                                         const std::vector<std::string>& namedByCatalog,
                                         bool covered) {
    SignatureJudgement out;
    const std::vector<std::string> named = covered ? namedByCatalog : std::vector<std::string>();
    Judge(catalogShown, architecture, osAttrs, named, out).Run(std::move(verdict), catalogVersion);
    return out;
}

TrustStore LoadTrust(const std::vector<std::string>& files, std::vector<Finding>* errors) {
    TrustStore trust = TrustStore::Microsoft();
    for (const std::string& file : files) {
        std::string text;
        std::string error;
        if (!ReadFileBytes(file, &text, &error) || !trust.AddPem(text, file, &error))
            errors->push_back({"trust-unreadable", file, 0, 0,
                               "cannot be read as a PEM root for --trust: " + error,
                               Severity::Error, Scope::Both});
    }
    return trust;
}

}  // namespace pkgcheck
