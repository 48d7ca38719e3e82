#include "pkgcheck/catalog/Sha1.h"

#include <cstring>

namespace pkgcheck {

Sha1::Sha1() : hasher_(std::make_unique<Hasher>(HashAlgorithm::kSha1)) {}
Sha1::~Sha1() = default;

void Sha1::Update(std::string_view bytes) { hasher_->Update(bytes); }

Sha1Digest Sha1::Finish() {
    const std::string bytes = hasher_->Finish();
    Sha1Digest out{};
    if (bytes.size() == out.size()) std::memcpy(out.data(), bytes.data(), out.size());
    return out;
}

Sha1Digest Sha1Of(std::string_view bytes) {
    Sha1 sha;
    sha.Update(bytes);
    return sha.Finish();
}

std::string HexDigest(std::string_view digest) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (const char c : digest) {
        const auto b = static_cast<unsigned char>(c);
        text += kHex[b >> 4];
        text += kHex[b & 0xF];
    }
    return text;
}

std::string HexDigest(const Sha1Digest& digest) {
    return HexDigest(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

}  // namespace pkgcheck
