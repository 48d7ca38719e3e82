// The catalog's signature as 2000, XP and Server 2003 verify it: a catalog
// that Microsoft's driver signing signed, and catalogs that osslsigncode
// signs here under roots that openssl makes here.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>

#include "pkgcheck/catalog/SignatureSystems.h"
#include "pkgcheck/catalog/Verify.h"
#include "pkgcheck/package/CatalogSignature.h"
#include "pkgcheck/report/SignatureReport.h"
#include "tests/pkgcheck/CatalogWriter.h"
#include "tests/pkgcheck/Fixtures.h"

namespace pkgcheck {
namespace {

using testing::Slurp;

const std::string kMaterial = std::string(PKGCHECK_SOURCE_DIR) + "/tests/pkgcheck/material/";
constexpr std::int64_t kDecember2026 = 1796774400;

TEST(TrustedRoots, EveryRowLoadsAsItsThumbprintPinsIt) {
    std::vector<std::string> problems;
    const TrustStore store = TrustStore::Microsoft(&problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    ASSERT_FALSE(store.roots().empty());
    for (const auto& root : store.roots()) {
        EXPECT_TRUE(root->microsoft);
        EXPECT_FALSE(root->certificate.modulus.empty()) << root->name;
        EXPECT_FALSE(root->source.empty()) << root->name;
        EXPECT_FALSE(root->systems.empty()) << root->name;
    }
}

TEST(SignatureSystems, HasEveryServedSystemOnceWithASource) {
    std::vector<std::string> systems;
    for (const SystemSignatureSupport& row : SignatureSystems()) {
        systems.push_back(row.system);
        EXPECT_TRUE(row.sha1) << row.system;
        EXPECT_EQ(row.catalogVersions, std::vector<int>{1}) << row.system;
        EXPECT_EQ(row.source.rfind("https://", 0), 0u) << row.system;
    }
    EXPECT_EQ(systems, (std::vector<std::string>{"2000 SP4", "XP before SP3", "XP SP3",
                                                 "Server 2003 before SP2", "Server 2003 SP2",
                                                 "XP x64", "Server 2003 x64"}));
    EXPECT_EQ(SignatureSystemsFor("amd64", {"2:5.2"}).size(), 2u);
    EXPECT_EQ(SignatureSystemsFor("x86", {"2:5.0", "2:5.1"}).size(), 3u);
}

TEST(CatalogSignature, MicrosoftsDriverSigningVerifiesAtItsTimestamp) {
    const std::string bytes = Slurp(kMaterial + "ms-signed/smbusamd.cat");
    const SignatureVerdict v =
        VerifyCatalogSignature(bytes, TrustStore::Microsoft(), kDecember2026);
    EXPECT_TRUE(v.verified) << v.problem;
    EXPECT_EQ(v.digestAlgorithm, "sha1");
    EXPECT_TRUE(v.driverSigning);
    EXPECT_EQ(v.root, "Microsoft Root Authority");
    ASSERT_EQ(v.chain.size(), 3u);
    EXPECT_NE(v.chain[0].subject.find("Microsoft Windows Hardware Compatibility Publisher"),
              std::string::npos);
    EXPECT_TRUE(v.hasTimestamp);
    EXPECT_EQ(TimeText(v.timestamp), "2011-09-13 14:29:46 UTC");
    EXPECT_FALSE(v.sha2Certificates);
}

TEST(CatalogSignature, AChangedByteOfTheRealCatalogBreaksIt) {
    std::string bytes = Slurp(kMaterial + "ms-signed/smbusamd.cat");
    const std::size_t at = bytes.find(testing::Wide("2:5.1,2:5.2"));  // OSAttr is signed content
    ASSERT_NE(at, std::string::npos);
    bytes[at + 4] = '6';
    const SignatureVerdict v =
        VerifyCatalogSignature(bytes, TrustStore::Microsoft(), kDecember2026);
    EXPECT_FALSE(v.verified);
    EXPECT_EQ(v.problemKind, kSignatureBroken);
    EXPECT_NE(v.problem.find("changed after it was signed"), std::string::npos);
}

TEST(CatalogSignature, NoSignerInfosIsNoSignature) {
    const SignatureVerdict v = VerifyCatalogSignature(
        testing::CatalogBytes({{"A3A37EC031F134EDD1E9DB40819B1EAD0DB7C844"}}),
        TrustStore::Microsoft(), kDecember2026);
    EXPECT_FALSE(v.present);
    EXPECT_FALSE(v.verified);
}

// Each catalog that sign_catalogs.sh makes, as pkgcheck judges it with the
// builder's root given (--trust) or not.
TEST(CatalogSignature, OsslsigncodeSignedCatalogs) {
    testing::TempDir dir;
    dir.Write("unsigned.cat", testing::CatalogBytes(
                                  {{"A3A37EC031F134EDD1E9DB40819B1EAD0DB7C844", "smbusamd.inf"}}));
    const std::string out = (dir.path() / "signed").string();
    const std::string command = std::string(PKGCHECK_SOURCE_DIR) +
                                "/tests/pkgcheck/sign_catalogs.sh " +
                                (dir.path() / "unsigned.cat").string() + " " + out;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    struct Row {
        const char* file;
        const char* trust;  // PEM given with --trust; empty: none
        const char* kind;   // the problem; empty: verified
        const char* digest;
        bool sha2Certificates;
        const char* says;  // part of the problem's words
    };
    const Row rows[] = {
        {"sha1.cat", "root1.pem", "", "sha1", false, ""},
        {"sha1.cat", "", kSignatureUntrusted, "sha1", false, "a root of its own"},
        {"sha256.cat", "root1.pem", "", "sha256", false, ""},
        {"sha256ca.cat", "root.pem", "", "sha1", true, ""},
        {"expired.cat", "root1.pem", kSignatureExpired, "sha1", false, "no timestamp"},
        {"borrowed.cat", "", kSignatureUntrusted, "sha1", false, "the name is borrowed"},
        {"changed.cat", "root1.pem", kSignatureBroken, "sha1", false, "changed after it was"},
    };
    for (const Row& row : rows) {
        TrustStore trust = TrustStore::Microsoft();
        std::string error;
        if (*row.trust != '\0') {
            ASSERT_TRUE(trust.AddPem(Slurp(out + "/" + row.trust), row.trust, &error)) << error;
        }
        const SignatureVerdict v =
            VerifyCatalogSignature(Slurp(out + "/" + row.file), trust, std::time(nullptr));
        SCOPED_TRACE(row.file);
        EXPECT_TRUE(v.present);
        EXPECT_EQ(v.problemKind, row.kind) << v.problem;
        EXPECT_EQ(v.verified, *row.kind == '\0');
        EXPECT_EQ(v.digestAlgorithm, row.digest);
        EXPECT_EQ(v.sha2Certificates, row.sha2Certificates);
        EXPECT_NE(v.problem.find(row.says), std::string::npos) << v.problem;
        EXPECT_FALSE(v.driverSigning);
        EXPECT_FALSE(v.microsoftRoot);
    }
}

// A signature that verified, as each x86 system takes it by the root its
// chain ends at: Microsoft Root Certificate Authority is not one of 2000's.
TEST(CatalogSignature, EachSystemTakesItOnlyFromARootItCarries) {
    const TrustStore store = TrustStore::Microsoft();
    const std::vector<std::string> served = {"2:5.0", "2:5.1", "2:5.2"};
    const std::string mrca = "Microsoft Root Certificate Authority";
    struct Row {
        std::string root;
        bool driverSigning;
        std::vector<std::string> takenAs;  // 2000 SP4, XP before SP3, XP SP3, 2003 before SP2, SP2
    };
    const std::string ds = "driver-signing";
    const Row rows[] = {
        {"Microsoft Root Authority", true, {ds, ds, ds, ds, ds}},
        {mrca, true, {"unsigned", ds, ds, ds, ds}},
        {mrca, false, {"unsigned", "publisher", "publisher", "publisher", "publisher"}},
    };
    for (const Row& row : rows) {
        SignatureVerdict v;
        v.present = v.verified = v.microsoftRoot = true;
        v.digestAlgorithm = "sha1";
        v.root = row.root;
        v.driverSigning = row.driverSigning;
        for (const auto& root : store.roots())
            if (root->name == row.root) v.rootSystems = root->systems;
        CatalogCheck c;
        c.verdict = v;
        SignatureJudgement judged =
            JudgeSignatureVerdict(v, 1, "stor.cat", "x86", served, served, true);
        c.systems = judged.systems;
        std::vector<std::string> takenAs;
        for (const SystemVerdict& s : c.systems) {
            takenAs.push_back(s.takenAs);
            EXPECT_EQ(s.reason.empty(), row.root != mrca || s.system != "2000 SP4") << s.system;
        }
        SCOPED_TRACE(row.root);
        EXPECT_EQ(takenAs, row.takenAs);
        EXPECT_TRUE(judged.errors.empty() && judged.warnings.empty());
        const bool told =
            SignatureText(c).find("  2000 SP4: unsigned (its chain ends at " + mrca +
                                  ", which 2000 SP4 does not carry); shows") != std::string::npos;
        EXPECT_EQ(told, row.root == mrca) << SignatureText(c);
    }
}

}  // namespace
}  // namespace pkgcheck
