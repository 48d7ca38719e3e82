#pragma once
// SHA-1, the hash 2000, XP and Server 2003 look a file up by in a catalog;
// libgcrypt's, under the names the catalog check uses.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pkgcheck/catalog/Crypto.h"

namespace pkgcheck {

using Sha1Digest = std::array<std::uint8_t, 20>;

class Sha1 {
public:
    Sha1();
    ~Sha1();
    void Update(std::string_view bytes);
    Sha1Digest Finish();  // once; the object is spent afterwards

private:
    std::unique_ptr<Hasher> hasher_;
};

Sha1Digest Sha1Of(std::string_view bytes);

// Upper-case hexadecimal, as a catalog names its members.
std::string HexDigest(std::string_view digest);
std::string HexDigest(const Sha1Digest& digest);

}  // namespace pkgcheck
