#pragma once
// The catalog's signature judged for each system the INF serves: whether
// it takes the package as signed by Microsoft's driver signing, by another
// publisher, or as unsigned, and the findings that say why.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pkgcheck/catalog/Verify.h"
#include "pkgcheck/read/Finding.h"

namespace pkgcheck {

// Where Microsoft says what these systems do with a package they take as
// unsigned; the report prints it.
// - KB 216754, "Driver Signing Set to "Warn" During Windows 2000 Setup",
//   http://support.microsoft.com/?kbid=216754: for "a non-signed driver" the
//   choices are "Allow drivers to be installed (no prompt)", "Warn when a
//   non-signed driver is installed" (the default) and "Do not allow
//   non-signed drivers to be installed"; "a non-signed third-party driver can
//   cause a prompt to be displayed during an unattended Setup".
// - KB 269651, ""Digital Signature Not Found" Error Message When You Install
//   a Driver or Update" (Windows 2000; read in the archive of
//   ftp.microsoft.com/MISC/KB/en-us/269/651.HTM): the box "Digital Signature
//   Not Found", "The software you are about to install does not contain a
//   Microsoft digital signature", "Do you want to continue the installation?".
// - KB 293335, "No Driver Signing Warning Is Displayed When You Install the
//   Device Driver" (Windows XP; ftp.microsoft.com/MISC/KB/en-us/293/335.HTM):
//   "A Driver Signing policy can apply to the device classes listed in the
//   Certclas.inf file", and the warning "is currently available only for
//   Plug and Play device drivers".
// No Microsoft page was found for the words of XP's box ("has not passed
// Windows Logo testing" is quoted by third-party pages only), for the name
// of XP's Block choice, nor for "no box" under Microsoft's driver signing,
// which KB 269651 implies but does not say.
constexpr const char* kUnsignedSource = "support.microsoft.com KB 216754, 269651, 293335";

struct SystemVerdict {
    std::string system;       // "XP SP3"
    std::string takenAs;      // "driver-signing", "publisher", "unsigned"
    std::string reason;       // why a signature that verified is none there; empty: none
    std::string consequence;  // what follows there, in words
};

struct SignatureJudgement {
    SignatureVerdict verdict;
    std::vector<SystemVerdict> systems;
    std::vector<Finding> errors;
    std::vector<Finding> warnings;
};

// `catalogShown` names the catalog in findings; `namedByCatalog` are the
// served systems (`osAttrs`) that the catalog's own OSAttr names, the others
// take it as unsigned, as all do when it does not cover every file
// (`covered` false); `trust` holds the roots a chain may end at (see
// LoadTrust); `now` is 0 for the clock.
SignatureJudgement JudgeCatalogSignature(std::string_view bytes, int catalogVersion,
                                         const std::string& catalogShown,
                                         const std::string& architecture,
                                         const std::vector<std::string>& osAttrs,
                                         const std::vector<std::string>& namedByCatalog,
                                         bool covered, const TrustStore& trust, std::int64_t now);

// The same for a signature already verified (`verdict`).
SignatureJudgement JudgeSignatureVerdict(SignatureVerdict verdict, int catalogVersion,
                                         const std::string& catalogShown,
                                         const std::string& architecture,
                                         const std::vector<std::string>& osAttrs,
                                         const std::vector<std::string>& namedByCatalog,
                                         bool covered);

// Microsoft's roots and the builder's own (--trust), read once for the
// whole check; a file that cannot be read is an error.
TrustStore LoadTrust(const std::vector<std::string>& files, std::vector<Finding>* errors);

}  // namespace pkgcheck
