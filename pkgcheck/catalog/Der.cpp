#include "pkgcheck/catalog/Der.h"

namespace pkgcheck {

bool DerReader::Fail(const char* problem, const char* at) {
    if (error_.empty()) error_ = std::string(problem) + " at byte " + std::to_string(at - origin_);
    rest_ = {};
    return false;
}

bool DerReader::Read(std::string_view* rest, int depth, DerItem* item) {
    const char* const start = rest->data();
    if (depth > kMaxDepth) return Fail("items nested more than 64 deep", start);
    std::size_t at = 0;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>((*rest)[i]); };
    if (rest->size() < 2) return Fail("an item cut short", start);
    const unsigned tag = byte(at++);
    if ((tag & 0x1F) == 0x1F) {  // a tag number in further octets, each but the last >= 0x80
        while (at < rest->size() && (byte(at) & 0x80) != 0 && at < 6) ++at;
        if (at >= rest->size() || (byte(at) & 0x80) != 0)
            return Fail("a tag number too long or cut short", start);
        ++at;
    }
    if (at >= rest->size()) return Fail("an item cut short", start);
    const unsigned first = byte(at++);
    const bool constructed = (tag & 0x20) != 0;
    if (first == 0x80) {
        // BER's indefinite length: the content runs to an end-of-contents
        // pair of its own nesting level.
        if (!constructed) return Fail("an indefinite length on a primitive item", start);
        std::string_view inner = rest->substr(at);
        const char* const content = inner.data();
        while (true) {
            if (inner.size() >= 2 && inner[0] == '\0' && inner[1] == '\0') break;
            if (inner.empty()) return Fail("an indefinite length without its end", start);
            DerItem child;
            if (!Read(&inner, depth + 1, &child)) return false;
        }
        const std::size_t whole = static_cast<std::size_t>(inner.data() + 2 - rest->data());
        *item = {tag, std::string_view(content, static_cast<std::size_t>(inner.data() - content)),
                 depth, rest->substr(0, whole)};
        rest->remove_prefix(whole);
        return true;
    }
    std::size_t length = first;
    if (first > 0x80) {
        const unsigned octets = first & 0x7F;
        if (octets > 4) return Fail("a length of more than four octets", start);
        if (rest->size() - at < octets) return Fail("a length cut short", start);
        length = 0;
        for (unsigned i = 0; i < octets; ++i) length = length << 8 | byte(at++);
    }
    if (length > rest->size() - at) return Fail("a length past the end of its container", start);
    *item = {tag, rest->substr(at, length), depth, rest->substr(0, at + length)};
    rest->remove_prefix(at + length);
    return true;
}

bool DerReader::Next(DerItem* item) {
    if (rest_.empty()) return false;
    return Read(&rest_, depth_, item);
}

bool DerReader::First(const DerReader& in, unsigned tag, DerItem* item) {
    DerReader copy = in;
    return copy.Next(item) && item->tag == tag;
}

std::string OidText(std::string_view content) {
    if (content.empty()) return "";
    std::string text;
    std::uint64_t value = 0;
    bool first = true;
    for (std::size_t i = 0; i < content.size(); ++i) {
        const auto b = static_cast<unsigned char>(content[i]);
        if (value > (UINT64_MAX >> 7)) return "";
        value = value << 7 | (b & 0x7F);
        if ((b & 0x80) != 0) {
            if (i + 1 == content.size()) return "";
            continue;
        }
        if (first) {
            const std::uint64_t top = value < 80 ? value / 40 : 2;
            text = std::to_string(top) + "." + std::to_string(value - 40 * top);
            first = false;
        } else {
            text += "." + std::to_string(value);
        }
        value = 0;
    }
    return text;
}

}  // namespace pkgcheck
