// The catalog: SHA-1 against its published test vectors, the reader against
// the example's catalog and broken ones, and the check of a package's files
// against its catalog.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "pkgcheck/catalog/Catalog.h"
#include "pkgcheck/catalog/Der.h"
#include "pkgcheck/catalog/FileHash.h"
#include "pkgcheck/catalog/Sha1.h"
#include "pkgcheck/inf/Inf.h"
#include "pkgcheck/package/CatalogCheck.h"
#include "pkgcheck/package/Payload.h"
#include "tests/pkgcheck/CatalogWriter.h"
#include "tests/pkgcheck/Fixtures.h"

namespace pkgcheck {
namespace {

using testing::CatalogBytes;
using testing::CatalogEntry;

std::string ReadSource(const std::string& relative) {
    std::ifstream in(std::string(PKGCHECK_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// FIPS 180-2's examples and the long message of the NIST test vectors,
// whole and fed in uneven pieces.
TEST(Sha1, GivesThePublishedDigests) {
    const struct {
        std::string message;
        const char* digest;
    } rows[] = {
        {"", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
        {"abc", "A9993E364706816ABA3E25717850C26C9CD0D89D"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
        {std::string(1000000, 'a'), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(HexDigest(Sha1Of(row.message)), row.digest) << row.message.size();
        Sha1 pieces;
        for (std::size_t at = 0; at < row.message.size(); at += 63)
            pieces.Update(std::string_view(row.message).substr(at, 63));
        EXPECT_EQ(HexDigest(pieces.Finish()), row.digest) << row.message.size();
    }
}

// Every constructed item re-encoded with BER's indefinite length.
std::string Indefinite(std::string_view der) {
    std::string out;
    DerReader in(der, der.data());
    DerItem item;
    while (in.Next(&item)) {
        if ((item.tag & 0x20) == 0) {
            out += testing::Der(item.tag, item.content);
            continue;
        }
        out += static_cast<char>(item.tag);
        out += '\x80';
        out += Indefinite(item.content) + std::string(2, '\0');
    }
    return out;
}

TEST(ReadCatalog, ReadsTheExampleCatalogAsMakePayloadWroteIt) {
    const std::string inf = ReadSource("examples/package/drv/stordrv.inf");
    const std::string sys = ReadSource("examples/package/drv/stordrv.sys");
    const std::string sys64 = ReadSource("examples/package/drv/amd64/stordrv.sys");
    const std::string cat = ReadSource("examples/package/drv/stordrv.cat");
    ASSERT_FALSE(cat.empty());
    const FileHash driver = HashAsWindows(sys);
    EXPECT_TRUE(driver.image);
    EXPECT_NE(driver.hash, driver.flat);
    EXPECT_FALSE(HashAsWindows(inf).image);
    for (const std::string& bytes : {cat, Indefinite(cat)}) {
        const Catalog c = ReadCatalog(bytes);
        ASSERT_EQ(c.error, "");
        EXPECT_EQ(c.signers, 0u);
        ASSERT_EQ(c.members.size(), 3u);
        EXPECT_EQ(c.members[0].tag, HexDigest(Sha1Of(inf)));
        EXPECT_EQ(c.members[0].file, "stordrv.inf");
        EXPECT_EQ(c.members[0].subjectGuid, kSubjectFlatFile);
        EXPECT_EQ(c.members[1].tag, HexDigest(driver.hash));
        EXPECT_EQ(c.members[1].digest, std::string(driver.hash.begin(), driver.hash.end()));
        EXPECT_EQ(c.members[1].file, "stordrv.sys");
        EXPECT_EQ(c.members[1].subjectGuid, kSubjectPeImage);
        EXPECT_EQ(c.members[1].algorithm, kOidSha1);
        EXPECT_EQ(c.members[2].tag, HexDigest(HashAsWindows(sys64).hash));
        EXPECT_EQ(c.members[2].subjectGuid, kSubjectPeImage);
    }
}

// Signing a PE file embeds a certificate table and sets the checksum; its
// image hash, which its member is looked up by, stays what it was.
TEST(HashAsWindows, LeavesOutWhatSigningChanges) {
    for (const bool pe32plus : {false, true}) {
        const std::string plain = testing::TinyImage(0x14C, 1, pe32plus);
        std::string signedImage = plain + std::string(16, '\x5A');
        const std::size_t optional = 0x58;
        const std::size_t entry = optional + (pe32plus ? 112 : 96) + 4 * 8;
        signedImage[optional + 64] = '\x34';  // the checksum
        signedImage[entry + 1] = '\x02';      // the table at 0x200,
        signedImage[entry + 4] = '\x10';      // 16 bytes long
        const FileHash before = HashAsWindows(plain);
        const FileHash after = HashAsWindows(signedImage);
        EXPECT_TRUE(before.image && after.image) << pe32plus;
        EXPECT_EQ(HexDigest(after.hash), HexDigest(before.hash)) << pe32plus;
        EXPECT_NE(HexDigest(after.flat), HexDigest(before.flat)) << pe32plus;
        EXPECT_NE(HexDigest(after.hash), HexDigest(after.flat)) << pe32plus;
    }
}

TEST(ReadCatalog, RefusesWhatIsNoCatalog) {
    const std::string cat = ReadSource("examples/package/drv/stordrv.cat");
    std::string nested;
    for (int i = 0; i < 100; ++i) nested += "\x30\x80";
    nested += std::string(200, '\0');
    const std::string signedRoot = testing::Seq(testing::Oid("1.2.840.113549.1.7.1"));
    const struct {
        const char* what;
        std::string bytes;
        const char* error;
    } rows[] = {
        {"empty", "", "the file is empty"},
        {"junk", "catalog", "a length past the end"},
        {"no sequence", std::string("\x04\x00", 2), "no PKCS #7 ContentInfo"},
        {"cut in its header", cat.substr(0, 3), "a length cut short"},
        {"cut in its members", cat.substr(0, cat.size() - 40), "a length past the end"},
        {"cut at its last byte", cat.substr(0, cat.size() - 1), "a length past the end"},
        {"nested too deep", nested, "nested more than 64 deep"},
        {"indefinite without its end", std::string("\x30\x80\x30\x00", 4), "without its end"},
        {"five length octets", std::string("\x30\x85\x01\x00\x00\x00\x00", 7),
         "more than four octets"},
        {"data, not signed data", signedRoot, "no PKCS #7 SignedData"},
    };
    for (const auto& row : rows) {
        const Catalog c = ReadCatalog(row.bytes);
        EXPECT_NE(c.error.find(row.error), std::string::npos) << row.what << ": " << c.error;
        EXPECT_TRUE(c.members.empty()) << row.what;
    }
}

// A package of an INF and one driver in a temporary folder, checked against
// a catalog made for (possibly other) bytes.
struct Row {
    const char* what;
    std::string catalog;
    std::vector<std::string> states;  // the INF's, the driver's
    std::vector<std::string> kinds;   // errors, then warnings
    bool signature = false;
    const char* inf = nullptr;  // the package's INF, when not the catalogued one
};

// The bytes with the first `from` made `to`.
std::string Replaced(std::string bytes, const std::string& from, const std::string& to) {
    const std::size_t at = bytes.find(from);
    if (at != std::string::npos) bytes.replace(at, from.size(), to);
    return bytes;
}

TEST(CheckCatalogMembers, FindsEachFileByTheHashWindowsLooksUp) {
    const std::string inf = "[Version]\r\nCatalogFile=stor.cat\r\n";
    const std::string sys = testing::TinyImage(0x14C, 1);
    const std::string infHash = HexDigest(Sha1Of(inf));
    const FileHash driver = HashAsWindows(sys);
    const std::string sysHash = HexDigest(driver.hash);
    const std::string oldInf = HexDigest(Sha1Of(inf + ";"));
    const std::string oldSys = HexDigest(HashAsWindows(sys + std::string(16, '\0')).hash);
    const std::string sha256(64, 'A');
    const auto entries = [](CatalogEntry a, CatalogEntry b) {
        return std::vector<CatalogEntry>{std::move(a), std::move(b)};
    };
    const CatalogEntry goodInf{infHash, "stor.inf"};
    const CatalogEntry goodSys{sysHash, "stor.sys", true};
    const std::string clean = CatalogBytes(entries(goodInf, goodSys));
    const std::vector<std::string> members = {"member", "member"};
    const Row rows[] = {
        {"catalogued package", clean, members, {}},
        {"a signer info of a version number alone, XP's and 2003's OSAttr",
         CatalogBytes(
             entries({infHash, "stor.inf", false, "1.3.14.3.2.26", "2:5.1,2:5.2"}, goodSys), true,
             "2:5.1"),
         members,
         {"catalog-signature-broken"},
         true},
        {"INF changed after the catalog",
         CatalogBytes(entries({oldInf, "STOR.INF"}, goodSys)),
         {"catalog-changed", "member"},
         {"catalog-changed"}},
        {"driver rebuilt after the catalog",
         CatalogBytes(entries(goodInf, {oldSys, "stor.sys", true})),
         {"member", "catalog-changed"},
         {"catalog-changed"}},
        {"flat hash of a PE file",
         CatalogBytes(entries(goodInf, {HexDigest(driver.flat), "stor.sys"})),
         {"member", "catalog-flat-hash"},
         {"catalog-flat-hash"}},
        {"SHA-256 members only",
         CatalogBytes(entries({sha256, "stor.inf", false, "2.16.840.1.101.3.4.2.1"},
                              {sha256, "", true, "2.16.840.1.101.3.4.2.1"})),
         {"catalog-algorithm", "catalog-no-member"},
         {"catalog-algorithm", "catalog-no-member"}},
        {"INF changed, in a catalog by SHA-256 and SHA-1",
         CatalogBytes({{sha256, "stor.inf", false, "2.16.840.1.101.3.4.2.1"},
                       {oldInf, "stor.inf"},
                       goodSys}),
         {"catalog-changed", "member"},
         {"catalog-changed"}},
        {"no member, no name",
         CatalogBytes(entries(goodInf, {oldSys})),
         {"member", "catalog-no-member"},
         {"catalog-no-member"}},
        {"Windows 2000's own way to write its OSAttr",
         CatalogBytes(entries({infHash, "stor.inf", false, "1.3.14.3.2.26", "2:5.00"}, goodSys),
                      false, "2:5.00,2:5.10"),
         members,
         {}},
        {"INF's line ends lost in a checkout",
         CatalogBytes(entries({infHash}, goodSys)),
         {"catalog-changed", "member"},
         {"catalog-changed"},
         false,
         "[Version]\nCatalogFile=stor.cat\n"},
        {"member's digest is not its tag",
         Replaced(CatalogBytes(entries(goodInf, goodSys)), testing::Unhex(infHash),
                  testing::Unhex(oldInf)),
         {"catalog-changed", "member"},
         {"catalog-changed"}},
        {"the member list of Windows 8",
         Replaced(clean, testing::Oid("1.3.6.1.4.1.311.12.1.2"),
                  testing::Oid("1.3.6.1.4.1.311.12.1.3")),
         members,
         {"catalog-version"}},
        {"made for Windows 7 alone",
         CatalogBytes(entries({infHash, "stor.inf", false, "1.3.14.3.2.26", "2:6.1"}, goodSys),
                      false, "2:6.1"),
         members,
         {"catalog-systems", "catalog-systems"}},
        {"junk catalog", "catalog", {}, {"catalog-unreadable"}},
        {"empty catalog", "", {}, {"catalog-unreadable"}},
        {"truncated catalog", clean.substr(0, clean.size() / 2), {}, {"catalog-unreadable"}},
    };
    for (const Row& row : rows) {
        const testing::TempDir pkg;
        pkg.Write("stor.inf", row.inf != nullptr ? std::string(row.inf) : inf);
        pkg.Write("stor.sys", sys);
        pkg.Write("stor.cat", row.catalog);
        const auto at = [&](const char* name) -> CatalogSubject {
            return {name, (pkg.path() / name).string()};
        };
        const CatalogCheck check = CheckCatalogMembers({"x86",
                                                        at("stor.cat"),
                                                        {at("stor.inf"), at("stor.sys")},
                                                        {"2:5.0", "2:5.1", "2:5.2"},
                                                        "2000, XP and Server 2003",
                                                        Scope::X86,
                                                        {},
                                                        0});
        std::vector<std::string> states;
        for (const CatalogFileState& file : check.files) states.push_back(KindOf(file.state));
        EXPECT_EQ(states, row.states) << row.what;
        std::vector<std::string> kinds;
        std::string messages;
        for (const auto* findings : {&check.errors, &check.warnings})
            for (const Finding& f : *findings) {
                kinds.push_back(f.kind);
                messages += f.file + ": " + f.message + "\n";
            }
        EXPECT_EQ(kinds, row.kinds) << row.what << "\n" << messages;
        EXPECT_EQ(check.signature, row.signature) << row.what;
    }
}

// A driver that the package holds in the disk's cabinet or in its
// compressed form is looked up as the file Windows copies: its hash comes
// from inside the cabinet, or from what the file expands to.
TEST(CheckCatalogMembers, APackedDriverIsHashedAsTheFileWindowsCopies) {
    const std::string head =
        "[Version]\r\nCatalogFile=stor.cat\r\n[Manufacturer]\r\nM=Models\r\n"
        "[Models]\r\nD=Inst,PCI\\VEN_1\r\n[Inst]\r\nCopyFiles=@stor.sys\r\n"
        "[SourceDisksFiles]\r\nstor.sys=1\r\n";
    const std::string sys = testing::TinyImage(0x14C, 1);
    const std::string cab = testing::StoredCabinet({{"stor.sys", sys}});
    const struct {
        const char* what;
        std::string disks;
        const char* file;  // where the package holds the driver
        std::string bytes;
        const char* state;  // the driver's
    } rows[] = {
        {"in the disk's cabinet", "[SourceDisksNames]\r\n1=d,acc.cab,,\\x86\r\n", "x86/acc.cab",
         cab, "member"},
        {"compressed", "[SourceDisksNames]\r\n1=d\r\n", "stor.sy_", cab, "member"},
        {"a cabinet cut short", "[SourceDisksNames]\r\n1=d,acc.cab\r\n", "acc.cab",
         cab.substr(0, cab.size() - 8), "catalog-not-unpacked"},
    };
    for (const auto& row : rows) {
        const std::string inf = head + row.disks;
        const testing::TempDir pkg;
        pkg.Write("drv/stor.inf", inf);
        pkg.Write(std::string("drv/") + row.file, row.bytes);
        pkg.Write("drv/stor.cat",
                  CatalogBytes({{HexDigest(Sha1Of(inf)), "stor.inf"},
                                {HexDigest(HashAsWindows(sys).hash), "stor.sys", true}}));
        const std::string dir = (pkg.path() / "drv").string();
        const Payload payload =
            CheckPayload(ReadInf(inf, "drv\\stor.inf"), dir, "drv", "drv\\stor.inf");
        EXPECT_TRUE(payload.errors.empty()) << row.what << ": " << payload.errors[0].message;
        const auto request = CatalogRequestFor(payload, {"drv\\stor.inf", dir + "/stor.inf"}, "x86",
                                               {"2:5.1"}, "XP");
        ASSERT_TRUE(request.has_value()) << row.what;
        const CatalogCheck check = CheckCatalogMembers(*request);
        ASSERT_EQ(check.files.size(), 2u) << row.what;
        EXPECT_STREQ(KindOf(check.files[0].state), "member") << row.what;
        EXPECT_STREQ(KindOf(check.files[1].state), row.state) << row.what;
        EXPECT_TRUE(check.errors.empty()) << row.what << ": " << check.errors[0].message;
    }
}

}  // namespace
}  // namespace pkgcheck
