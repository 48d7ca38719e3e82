// The catalog's signature on any bytes: the signed-data reader, the
// certificate reader and the chain builder give a verdict, never a read out
// of bounds, a deep recursion or a crash; and damaged bytes never verify as
// Microsoft's driver signing.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "pkgcheck/catalog/Certificate.h"
#include "pkgcheck/catalog/SignedData.h"
#include "pkgcheck/catalog/Verify.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

const pkgcheck::TrustStore& Store() {
    static const pkgcheck::TrustStore store = pkgcheck::TrustStore::Microsoft();
    return store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const pkgcheck::SignedParts parts = pkgcheck::ReadSignedParts(bytes);
    for (const std::string_view der : parts.certificates) {
        pkgcheck::Certificate cert;
        std::string error;
        if (pkgcheck::ReadCertificate(der, &cert, &error)) Check(cert.der.size() <= size);
    }
    pkgcheck::Certificate cert;
    std::string error;
    pkgcheck::ReadCertificate(bytes, &cert, &error);
    const pkgcheck::SignatureVerdict verdict =
        pkgcheck::VerifyCatalogSignature(bytes, Store(), 1796774400);
    Check(verdict.verified == (verdict.present && verdict.problemKind.empty()));
    Check(!verdict.driverSigning || verdict.microsoftRoot);
    return 0;
}
