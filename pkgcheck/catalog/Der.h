#pragma once
// A reader of DER, and of BER's indefinite lengths, over bytes that may be
// anything: every length is held to the bytes around it and nesting to a
// fixed depth, so a damaged or hostile file is an error, never a read past
// its end or a deep recursion.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pkgcheck {

// Identifier octets of the items a catalog holds.
enum DerTag : unsigned {
    kDerBoolean = 0x01,
    kDerInteger = 0x02,
    kDerBitString = 0x03,
    kDerOctetString = 0x04,
    kDerNull = 0x05,
    kDerOid = 0x06,
    kDerUtcTime = 0x17,
    kDerGeneralizedTime = 0x18,
    kDerBmpString = 0x1E,
    kDerSequence = 0x30,
    kDerSet = 0x31,
    kDerContext0 = 0xA0,  // [0], constructed
};

struct DerItem {
    unsigned tag = 0;          // the identifier octet; a high tag number reads as its first octet
    std::string_view content;  // without the end-of-contents octets of an indefinite length
    int depth = 0;
    std::string_view element;  // the whole item, identifier and length octets included
};

class DerReader {
public:
    static constexpr int kMaxDepth = 64;

    // `origin` is where the file starts, for the offsets in errors.
    DerReader(std::string_view bytes, const char* origin, int depth = 0)
        : rest_(bytes), origin_(origin), depth_(depth) {}

    // The next item; false at the end of the bytes or on an error.
    bool Next(DerItem* item);
    // A reader of a constructed item's content.
    DerReader Inside(const DerItem& item) const {
        return DerReader(item.content, origin_, item.depth + 1);
    }

    bool AtEnd() const { return rest_.empty(); }
    const std::string& error() const { return error_; }  // empty: none

    // The first element of a constructed item with this tag; false when it
    // has none, or on an error.
    static bool First(const DerReader& in, unsigned tag, DerItem* item);

private:
    // One item at the front of `*rest`, dropped from there.
    bool Read(std::string_view* rest, int depth, DerItem* item);
    bool Fail(const char* problem, const char* at);

    std::string_view rest_;
    const char* origin_;
    int depth_;
    std::string error_;
};

// An object identifier's content in dotted form, "1.3.14.3.2.26"; empty
// when it is no valid one.
std::string OidText(std::string_view content);

}  // namespace pkgcheck
