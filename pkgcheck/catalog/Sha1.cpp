#include "pkgcheck/catalog/Sha1.h"

#include <algorithm>
#include <cstring>

namespace pkgcheck {
namespace {

std::uint32_t Rotate(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

Sha1::Sha1() : state_{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0}, buffer_{} {}

void Sha1::Block(const std::uint8_t* block) {
    std::uint32_t w[80];
    for (std::size_t i = 0; i < 16; ++i)
        w[i] = static_cast<std::uint32_t>(block[4 * i]) << 24 |
               static_cast<std::uint32_t>(block[4 * i + 1]) << 16 |
               static_cast<std::uint32_t>(block[4 * i + 2]) << 8 | block[4 * i + 3];
    for (std::size_t i = 16; i < 80; ++i)
        w[i] = Rotate(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    for (std::size_t i = 0; i < 80; ++i) {
        std::uint32_t f = 0;
        std::uint32_t k = 0;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        const std::uint32_t t = Rotate(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = Rotate(b, 30);
        b = a;
        a = t;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

void Sha1::Update(std::string_view bytes) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
    std::size_t left = bytes.size();
    length_ += left;
    if (buffered_ > 0) {
        const std::size_t take = std::min(left, sizeof buffer_ - buffered_);
        std::memcpy(buffer_ + buffered_, p, take);
        buffered_ += take;
        p += take;
        left -= take;
        if (buffered_ < sizeof buffer_) return;
        Block(buffer_);
        buffered_ = 0;
    }
    for (; left >= 64; p += 64, left -= 64) Block(p);
    std::memcpy(buffer_, p, left);
    buffered_ = left;
}

Sha1Digest Sha1::Finish() {
    const std::uint64_t bits = length_ * 8;
    static const char kPad[64] = {'\x80'};
    Update(std::string_view(kPad, 1 + (119 - buffered_) % 64));
    std::uint8_t tail[8];
    for (std::size_t i = 0; i < 8; ++i) tail[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    Update(std::string_view(reinterpret_cast<const char*>(tail), 8));
    Sha1Digest digest{};
    for (std::size_t i = 0; i < digest.size(); ++i)
        digest[i] = static_cast<std::uint8_t>(state_[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}

Sha1Digest Sha1Of(std::string_view bytes) {
    Sha1 sha;
    sha.Update(bytes);
    return sha.Finish();
}

std::string HexDigest(std::string_view digest) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(digest.size() * 2);
    for (const char c : digest) {
        const auto b = static_cast<unsigned char>(c);
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}

std::string HexDigest(const Sha1Digest& digest) {
    return HexDigest(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

}  // namespace pkgcheck
