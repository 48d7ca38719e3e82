#pragma once
// The roots a catalog's chain may end at: Microsoft's, which the systems
// carry (TrustedRoots.tsv), and any the builder names with --trust. A root
// is known by its key; its name is only shown.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pkgcheck/catalog/Certificate.h"

namespace pkgcheck {

struct TrustedRoot {
    std::string name;    // as shown: the table's, or the certificate's subject
    std::string source;  // the table's source, or the file it came from
    bool microsoft = false;
    // The systems that carry it (SignatureSystems.tsv's names): the table's
    // families, or every system for a root of the builder's own.
    std::vector<std::string> systems;
    std::string der;          // owns the bytes `certificate` points into
    Certificate certificate;  // read from `der`
};

class TrustStore {
public:
    // Microsoft's roots alone; `problems` names a row that is not loaded
    // (a certificate that is not what its thumbprint pins), for the tests.
    static TrustStore Microsoft(std::vector<std::string>* problems = nullptr);

    // The certificates of a PEM file, as roots of the builder's own; false
    // with `error` when the file holds none or one that cannot be read.
    bool AddPem(std::string_view text, const std::string& file, std::string* error);

    // The root whose key is this SubjectPublicKeyInfo, if any.
    const TrustedRoot* ByKey(std::string_view publicKey) const;
    const std::vector<std::unique_ptr<TrustedRoot>>& roots() const { return roots_; }

private:
    bool Add(std::string der, std::string name, std::string source,
             std::vector<std::string> systems, bool microsoft, std::string* error);

    std::vector<std::unique_ptr<TrustedRoot>> roots_;  // stable addresses for the views
};

// Base64 to bytes, blanks and line ends skipped; false on another character.
bool DecodeBase64(std::string_view text, std::string* bytes);

}  // namespace pkgcheck
