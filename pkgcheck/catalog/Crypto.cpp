#include "pkgcheck/catalog/Crypto.h"

#include <gcrypt.h>

namespace pkgcheck {
namespace {

// libgcrypt wants its version checked once before any other call.
void Initialise() {
    static const bool done = [] {
        gcry_check_version(nullptr);
        gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        return true;
    }();
    (void)done;
}

int GcryptAlgorithm(HashAlgorithm algorithm) {
    switch (algorithm) {
        case HashAlgorithm::kMd5:
            return GCRY_MD_MD5;
        case HashAlgorithm::kSha1:
            return GCRY_MD_SHA1;
        case HashAlgorithm::kSha256:
            return GCRY_MD_SHA256;
        case HashAlgorithm::kSha384:
            return GCRY_MD_SHA384;
        case HashAlgorithm::kSha512:
            return GCRY_MD_SHA512;
        case HashAlgorithm::kUnknown:
            break;
    }
    return GCRY_MD_NONE;
}

// An S-expression that frees itself.
struct Sexp {
    gcry_sexp_t value = nullptr;
    ~Sexp() { gcry_sexp_release(value); }
};

}  // namespace

HashAlgorithm HashByOid(const std::string& oid) {
    if (oid == "1.2.840.113549.2.5" || oid == "1.2.840.113549.1.1.4") return HashAlgorithm::kMd5;
    if (oid == "1.3.14.3.2.26" || oid == "1.2.840.113549.1.1.5" || oid == "1.3.14.3.2.29")
        return HashAlgorithm::kSha1;
    if (oid == "2.16.840.1.101.3.4.2.1" || oid == "1.2.840.113549.1.1.11")
        return HashAlgorithm::kSha256;
    if (oid == "2.16.840.1.101.3.4.2.2" || oid == "1.2.840.113549.1.1.12")
        return HashAlgorithm::kSha384;
    if (oid == "2.16.840.1.101.3.4.2.3" || oid == "1.2.840.113549.1.1.13")
        return HashAlgorithm::kSha512;
    return HashAlgorithm::kUnknown;
}

const char* HashName(HashAlgorithm algorithm) {
    switch (algorithm) {
        case HashAlgorithm::kMd5:
            return "md5";
        case HashAlgorithm::kSha1:
            return "sha1";
        case HashAlgorithm::kSha256:
            return "sha256";
        case HashAlgorithm::kSha384:
            return "sha384";
        case HashAlgorithm::kSha512:
            return "sha512";
        case HashAlgorithm::kUnknown:
            break;
    }
    return "";
}

bool IsSha2(HashAlgorithm algorithm) {
    return algorithm == HashAlgorithm::kSha256 || algorithm == HashAlgorithm::kSha384 ||
           algorithm == HashAlgorithm::kSha512;
}

bool IsSha2Name(const std::string& name) {
    return name == "sha256" || name == "sha384" || name == "sha512";
}

struct Hasher::State {
    gcry_md_hd_t handle = nullptr;
    int algorithm = GCRY_MD_NONE;
};

Hasher::Hasher(HashAlgorithm algorithm) : state_(std::make_unique<State>()) {
    Initialise();
    state_->algorithm = GcryptAlgorithm(algorithm);
    if (state_->algorithm != GCRY_MD_NONE &&
        gcry_md_open(&state_->handle, state_->algorithm, 0) != 0)
        state_->handle = nullptr;
}

Hasher::~Hasher() { gcry_md_close(state_->handle); }

void Hasher::Update(std::string_view bytes) {
    if (state_->handle != nullptr) gcry_md_write(state_->handle, bytes.data(), bytes.size());
}

std::string Hasher::Finish() {
    if (state_->handle == nullptr) return "";
    const unsigned char* digest = gcry_md_read(state_->handle, state_->algorithm);
    std::string out(reinterpret_cast<const char*>(digest),
                    gcry_md_get_algo_dlen(state_->algorithm));
    gcry_md_close(state_->handle);
    state_->handle = nullptr;
    return out;
}

std::string Digest(HashAlgorithm algorithm, std::string_view bytes) {
    Hasher hasher(algorithm);
    hasher.Update(bytes);
    return hasher.Finish();
}

bool RsaVerifies(std::string_view modulus, std::string_view exponent, HashAlgorithm algorithm,
                 std::string_view digest, std::string_view signature) {
    Initialise();
    const char* const name = HashName(algorithm);
    if (*name == '\0' || modulus.empty() || exponent.empty() || signature.empty()) return false;
    Sexp key;
    Sexp data;
    Sexp sig;
    const auto length = [](std::string_view s) { return static_cast<int>(s.size()); };
    // %b takes a length and a pointer; the integers are unsigned, big-endian.
    if (gcry_sexp_build(&key.value, nullptr, "(public-key (rsa (n %b) (e %b)))", length(modulus),
                        modulus.data(), length(exponent), exponent.data()) != 0 ||
        gcry_sexp_build(&data.value, nullptr, "(data (flags pkcs1) (hash %s %b))", name,
                        length(digest), digest.data()) != 0 ||
        gcry_sexp_build(&sig.value, nullptr, "(sig-val (rsa (s %b)))", length(signature),
                        signature.data()) != 0)
        return false;
    return gcry_pk_verify(sig.value, data.value, key.value) == 0;
}

}  // namespace pkgcheck
