#pragma once
// Catalogs made here for the tests and the benchmark, written as
// examples/make_payload.py writes them, with what that script leaves out:
// other hash algorithms, OSAttr pairs, a signer.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pkgcheck::testing {

inline std::string Der(unsigned tag, std::string_view content) {
    std::string out(1, static_cast<char>(tag));
    std::size_t n = content.size();
    if (n < 0x80) {
        out += static_cast<char>(n);
    } else {
        std::string length;
        for (; n > 0; n >>= 8) length.insert(length.begin(), static_cast<char>(n & 0xFF));
        out += static_cast<char>(0x80 | length.size());
        out += length;
    }
    out += content;
    return out;
}

inline std::string Seq(std::string_view content) { return Der(0x30, content); }

inline std::string Oid(std::string_view dotted) {
    std::vector<std::uint64_t> arcs(1, 0);
    for (const char c : dotted) {
        if (c == '.')
            arcs.push_back(0);
        else
            arcs.back() = arcs.back() * 10 + static_cast<std::uint64_t>(c - '0');
    }
    std::string body(1, static_cast<char>(40 * arcs[0] + arcs[1]));
    for (std::size_t i = 2; i < arcs.size(); ++i) {
        std::string chunk(1, static_cast<char>(arcs[i] & 0x7F));
        for (std::uint64_t n = arcs[i] >> 7; n > 0; n >>= 7)
            chunk.insert(chunk.begin(), static_cast<char>(0x80 | (n & 0x7F)));
        body += chunk;
    }
    return Der(0x06, body);
}

// ASCII as UTF-16, little- or big-endian, without a byte-order mark.
inline std::string Wide(std::string_view ascii, bool bigEndian = false) {
    std::string out;
    for (const char c : ascii) {
        out += bigEndian ? '\0' : c;
        out += bigEndian ? c : '\0';
    }
    return out;
}

inline std::string Unhex(std::string_view hex) {
    std::string out;
    const auto value = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(value(hex[i]) << 4 | value(hex[i + 1]));
    return out;
}

struct CatalogEntry {
    CatalogEntry(std::string tag_, std::string file_ = "", bool image_ = false,
                 std::string algorithm_ = "1.3.14.3.2.26", std::string osAttr_ = "")
        : tag(std::move(tag_)),
          file(std::move(file_)),
          image(image_),
          algorithm(std::move(algorithm_)),
          osAttr(std::move(osAttr_)) {}

    std::string tag;        // the hash's hexadecimal text, as the member is looked up
    std::string file;       // the File pair; empty: none
    bool image;             // hashed as a PE image
    std::string algorithm;  // dotted; SHA-1 unless given
    std::string osAttr;     // empty: none
};

inline std::string NameValue(std::string_view name, std::string_view value) {
    return Seq(Der(0x1E, Wide(name, true)) + Der(0x02, std::string("\x10\x01\x00\x01", 4)) +
               Der(0x04, Wide(value) + std::string(2, '\0')));
}

inline std::string Attribute(std::string_view oid, const std::string& value) {
    return Seq(Oid(oid) + Der(0x31, value));
}

inline std::string CatalogMemberDer(const CatalogEntry& e) {
    const char* const guid = e.image ? "{C689AAB8-8E78-11D0-8C47-00C04FC295EE}"
                                     : "{DE351A42-8E59-11D0-8C47-00C04FC295EE}";
    const std::string data =
        e.image ? Seq(Oid("1.3.6.1.4.1.311.2.1.15") + Seq(Der(0x03, std::string(1, '\0'))))
                : Seq(Oid("1.3.6.1.4.1.311.2.1.25"));
    std::string attributes =
        Attribute("1.3.6.1.4.1.311.12.2.2",
                  Seq(Der(0x1E, Wide(guid, true)) + Der(0x02, std::string("\x02\x00", 2)))) +
        Attribute("1.3.6.1.4.1.311.2.1.4",
                  Seq(data + Seq(Seq(Oid(e.algorithm) + Der(0x05, "")) + Der(0x04, Unhex(e.tag)))));
    if (!e.file.empty())
        attributes += Attribute("1.3.6.1.4.1.311.12.2.1", NameValue("File", e.file));
    if (!e.osAttr.empty())
        attributes += Attribute("1.3.6.1.4.1.311.12.2.1", NameValue("OSAttr", e.osAttr));
    return Seq(Der(0x04, Wide(e.tag) + std::string(2, '\0')) + Der(0x31, attributes));
}

// A whole catalog; `listOsAttr` is the catalog's own OSAttr, empty: none.
inline std::string CatalogBytes(const std::vector<CatalogEntry>& entries, bool signer = false,
                                const std::string& listOsAttr = "") {
    std::string members;
    for (const CatalogEntry& e : entries) members += CatalogMemberDer(e);
    std::string list = Seq(Oid("1.3.6.1.4.1.311.12.1.1")) + Der(0x04, "0123456789abcdef") +
                       Der(0x17, "080601000000Z") +
                       Seq(Oid("1.3.6.1.4.1.311.12.1.2") + Der(0x05, "")) + Seq(members);
    if (!listOsAttr.empty())
        list += Der(0xA0, Seq(Seq(Oid("1.3.6.1.4.1.311.12.2.1") +
                                  Der(0x04, NameValue("OSAttr", listOsAttr)))));
    const std::string signers = signer ? Seq(Der(0x02, std::string(1, '\1'))) : "";
    const std::string signedData =
        Seq(Der(0x02, std::string(1, '\1')) + Der(0x31, "") +
            Seq(Oid("1.3.6.1.4.1.311.10.1") + Der(0xA0, Seq(list))) + Der(0x31, signers));
    return Seq(Oid("1.2.840.113549.1.7.2") + Der(0xA0, signedData));
}

}  // namespace pkgcheck::testing
