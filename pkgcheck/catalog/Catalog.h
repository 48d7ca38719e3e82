#pragma once
// A catalog (.cat) as 2000 and XP read it: a PKCS #7 SignedData whose
// content is a certificate trust list with one member per file. A member is
// looked up by its tag, the hexadecimal text of the file's hash.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pkgcheck {

// How a member's hash was taken, by its member info's subject GUID.
constexpr const char* kSubjectPeImage = "{C689AAB8-8E78-11D0-8C47-00C04FC295EE}";
constexpr const char* kSubjectFlatFile = "{DE351A42-8E59-11D0-8C47-00C04FC295EE}";
constexpr const char* kOidSha1 = "1.3.14.3.2.26";
constexpr const char* kOidSha256 = "2.16.840.1.101.3.4.2.1";

struct CatalogMember {
    std::string tag;          // as looked up: hexadecimal text, upper case
    std::string algorithm;    // of the indirect data's digest, dotted; empty: none read
    std::string digest;       // that digest's bytes
    std::string subjectGuid;  // of the member info, upper case; empty: none
    std::string file;         // the File name/value pair, UTF-8; empty: none
    std::string osAttr;       // the OSAttr name/value pair; empty: none
};

struct Catalog {
    std::string error;  // non-empty: no catalog Windows reads; says why and where
    std::size_t signers = 0;
    int version = 1;     // 2: the member list of Windows 8 and later
    std::string osAttr;  // the catalog's own OSAttr (an attribute of the list), if any
    std::vector<CatalogMember> members;
};

Catalog ReadCatalog(std::string_view bytes);

// The algorithm's usual name ("SHA-1", "SHA-256"), or the dotted identifier.
std::string AlgorithmName(const std::string& oid);

}  // namespace pkgcheck
