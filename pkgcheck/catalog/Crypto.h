#pragma once
// The hashes and the RSA check the catalog's signature needs, all of them
// libgcrypt's: nothing here computes a digest or a power itself.

#include <memory>
#include <string>
#include <string_view>

namespace pkgcheck {

enum class HashAlgorithm { kUnknown, kMd5, kSha1, kSha256, kSha384, kSha512 };

// By the dotted identifier of the digest, or of a signature algorithm that
// names one (sha1WithRSAEncryption and its kin).
HashAlgorithm HashByOid(const std::string& oid);
// "md5", "sha1", "sha256", ...; empty for kUnknown.
const char* HashName(HashAlgorithm algorithm);
bool IsSha2(HashAlgorithm algorithm);
// The same by HashName's name: "sha256", "sha384", "sha512".
bool IsSha2Name(const std::string& name);

// A digest taken in pieces.
class Hasher {
public:
    explicit Hasher(HashAlgorithm algorithm);
    ~Hasher();
    Hasher(const Hasher&) = delete;
    Hasher& operator=(const Hasher&) = delete;

    void Update(std::string_view bytes);
    std::string Finish();  // the digest's bytes; once, the object is spent afterwards

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Empty for kUnknown.
std::string Digest(HashAlgorithm algorithm, std::string_view bytes);

// Whether `signature` is the RSA PKCS #1 v1.5 signature of `digest` (taken
// with `algorithm`) under the key (modulus, public exponent), as big-endian
// unsigned integers.
bool RsaVerifies(std::string_view modulus, std::string_view exponent, HashAlgorithm algorithm,
                 std::string_view digest, std::string_view signature);

}  // namespace pkgcheck
