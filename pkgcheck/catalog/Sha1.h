#pragma once
// SHA-1, the hash 2000, XP and Server 2003 look a file up by in a catalog.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace pkgcheck {

using Sha1Digest = std::array<std::uint8_t, 20>;

class Sha1 {
public:
    Sha1();
    void Update(std::string_view bytes);
    Sha1Digest Finish();  // once; the object is spent afterwards

private:
    void Block(const std::uint8_t* block);

    std::uint32_t state_[5];
    std::uint64_t length_ = 0;  // bytes taken in
    std::uint8_t buffer_[64];
    std::size_t buffered_ = 0;
};

Sha1Digest Sha1Of(std::string_view bytes);

// Upper-case hexadecimal, as a catalog names its members.
std::string HexDigest(std::string_view digest);
std::string HexDigest(const Sha1Digest& digest);

}  // namespace pkgcheck
