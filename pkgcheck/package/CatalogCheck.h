#pragma once
// Whether the catalog that an INF names covers what the INF installs, as
// 2000 and XP look each file up in it. One architecture's payload at a
// time: its catalog, the INF, and the files its install sections copy.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pkgcheck/package/CatalogSignature.h"
#include "pkgcheck/package/Payload.h"
#include "pkgcheck/read/Finding.h"

namespace pkgcheck {

// A file as the package holds it.
struct CatalogSubject {
    CatalogSubject(std::string shownFile = {}, std::string hostPath = {},
                   std::string packedName = {}, std::string cabinetMember = {},
                   bool isCompressed = false)
        : shown(std::move(shownFile)),
          path(std::move(hostPath)),
          name(std::move(packedName)),
          member(std::move(cabinetMember)),
          compressed(isCompressed) {}

    std::string shown;  // drv\stordrv.sys
    std::string path;   // host path
    // For a file the package holds packed: its name, and its name in the
    // cabinet at `path`, or that `path` is its compressed form.
    std::string name;
    std::string member;
    bool compressed = false;
};

struct CatalogRequest {
    std::string architecture;  // x86, amd64
    CatalogSubject catalog;
    std::vector<CatalogSubject> files;  // the INF first, then what its sections copy
    // The systems the INF serves there, as OSAttr names them: 2:5.0 (2000),
    // 2:5.1 (XP), 2:5.2 (Server 2003, XP x64).
    std::vector<std::string> systems;
    std::string served;                 // those systems in words: "2000, XP and Server 2003"
    Scope scope = Scope::X86;           // of the findings
    const TrustStore* trust = nullptr;  // the roots a chain may end at; null: Microsoft's
    std::int64_t now = 0;               // the time the signature is judged at; 0: the clock
};

// Whether a file is a member of the catalog, and if not, why.
enum class MemberState {
    Member,
    Unreadable,  // the file cannot be read
    NoMember,    // its hash is not in the catalog
    Changed,     // a member carries its name with another hash
    FlatHash,    // a PE image listed by the SHA-1 of all its bytes
    Algorithm,   // its member carries another hash than SHA-1
    // It lies packed (in a cabinet, or compressed) and cannot be unpacked
    // here: not looked up.
    NotUnpacked,
};
// "member", or the kind of the finding that says why not.
const char* KindOf(MemberState state);

struct CatalogFileState {
    std::string file;    // as the package holds it
    bool image = false;  // hashed as a PE image
    std::string hash;    // hexadecimal, as Windows looks the file up; empty: not read
    MemberState state = MemberState::NoMember;
};

struct CatalogCheck {
    std::string architecture;
    std::string catalog;     // as the package holds it
    bool read = false;       // parsed as a catalog
    bool signature = false;  // signer infos are there
    int version = 1;
    SignatureVerdict verdict;            // of the signature, when signer infos are there
    std::vector<SystemVerdict> systems;  // how each served system takes the package
    std::size_t members = 0;
    std::vector<CatalogFileState> files;
    std::vector<Finding> errors;
    std::vector<Finding> warnings;
};

CatalogCheck CheckCatalogMembers(const CatalogRequest& request);

// The request for what CheckPayload found: the INF, every copied file that
// is there, and the catalog; none when no catalog is there to read.
std::optional<CatalogRequest> CatalogRequestFor(const Payload& payload, const CatalogSubject& inf,
                                                const std::string& architecture,
                                                const std::vector<std::string>& systems,
                                                const std::string& served);

}  // namespace pkgcheck
