#include "pkgcheck/read/Text.h"

#include <algorithm>
#include <cstdint>

namespace pkgcheck {
namespace {

char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

void AppendUtf8(std::uint32_t code, std::string* out) {
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (code >> 18)));
        out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

DecodedText DecodeUtf16(std::string_view units, bool littleEndian, const char* name) {
    DecodedText decoded{"", name, ""};
    if (units.size() % 2 != 0) {
        decoded.error = std::string(name) + " text with an odd number of bytes (cut short?)";
        return decoded;
    }
    auto unitAt = [&](std::size_t i) {
        const auto lo = static_cast<unsigned char>(units[littleEndian ? i : i + 1]);
        const auto hi = static_cast<unsigned char>(units[littleEndian ? i + 1 : i]);
        return static_cast<std::uint32_t>(lo | (hi << 8));
    };
    for (std::size_t i = 0; i < units.size(); i += 2) {
        std::uint32_t code = unitAt(i);
        if (code >= 0xD800 && code < 0xDC00 && i + 2 < units.size()) {
            const std::uint32_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (code >= 0xD800 && code < 0xE000) code = 0xFFFD;
        AppendUtf8(code, &decoded.text);
    }
    return decoded;
}

}  // namespace

std::string Visible(std::string_view bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b > 0x20 && b < 0x7F && c != '<' && c != '>' && c != '"') {
            out.push_back(c);
        } else {
            out += '<';
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
            out += '>';
        }
    }
    return out;
}

std::string ShortVisible(std::string_view bytes, bool upperCase) {
    // Widths first, so a long text is never rendered whole.
    auto width = [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b > 0x20 && b < 0x7F && c != '<' && c != '>' && c != '"' ? 1u : 4u;
    };
    std::size_t total = 0;
    for (std::size_t i = 0; i < bytes.size() && total <= kShortVisibleLimit; ++i)
        total += width(bytes[i]);
    auto shown = [upperCase](std::string_view part) {
        return upperCase ? Visible(UpperAscii(part)) : Visible(part);
    };
    if (total <= kShortVisibleLimit) return shown(bytes);
    constexpr std::size_t kHead = 80;
    constexpr std::size_t kTail = 24;
    std::size_t head = 0;
    for (std::size_t w = 0; w + width(bytes[head]) <= kHead; ++head) w += width(bytes[head]);
    std::size_t tail = bytes.size();
    for (std::size_t w = 0; w + width(bytes[tail - 1]) <= kTail; --tail)
        w += width(bytes[tail - 1]);
    return shown(bytes.substr(0, head)) + "..." + shown(bytes.substr(tail)) + " (" +
           std::to_string(bytes.size()) + " bytes)";
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), UpperChar);
    return out;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return UpperChar(x) == UpperChar(y);
           });
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

std::size_t FindIgnoringCase(std::string_view text, std::string_view needle) {
    const auto found = std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                                   [](char x, char y) { return UpperChar(x) == UpperChar(y); });
    return found == text.end() && !needle.empty() ? std::string_view::npos
                                                  : static_cast<std::size_t>(found - text.begin());
}

bool PrecedesInRegistry(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(UpperChar(x)) < static_cast<unsigned char>(UpperChar(y));
    });
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

DecodedText DecodeText(std::string_view bytes) {
    if (bytes.substr(0, 2) == "\xFF\xFE") return DecodeUtf16(bytes.substr(2), true, "UTF-16LE");
    if (bytes.substr(0, 2) == "\xFE\xFF") return DecodeUtf16(bytes.substr(2), false, "UTF-16BE");
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return {std::string(bytes.substr(3)), "UTF-8", ""};
    return {std::string(bytes), "ANSI", ""};
}

ByteOrder UnmarkedUtf16(std::string_view bytes) {
    // The start tells as well as the whole and keeps this cheap.
    const std::string_view sample = bytes.substr(0, std::min<std::size_t>(bytes.size(), 65536));
    std::size_t nulAtEven = 0;
    std::size_t nulAtOdd = 0;
    for (std::size_t i = 0; i < sample.size(); ++i)
        if (sample[i] == '\0') ++(i % 2 == 0 ? nulAtEven : nulAtOdd);
    const std::size_t units = sample.size() / 2;
    if (units == 0) return ByteOrder::None;
    // A few NULs on the other side are characters such as U+3000.
    if (nulAtOdd * 2 >= units && nulAtEven * 8 < nulAtOdd) return ByteOrder::Little;
    if (nulAtEven * 2 >= units && nulAtOdd * 8 < nulAtEven) return ByteOrder::Big;
    return ByteOrder::None;
}

bool DecodeUnmarkedUtf16(std::string_view bytes, DecodedText* decoded) {
    const ByteOrder order = UnmarkedUtf16(bytes);
    if (order == ByteOrder::None) return false;
    const bool little = order == ByteOrder::Little;
    *decoded = DecodeUtf16(bytes, little, little ? "UTF-16LE" : "UTF-16BE");
    return true;
}

int LineCounter::LineOf(std::size_t offset) {
    for (; counted_ < offset && counted_ < text_.size(); ++counted_) {
        const char c = text_[counted_];
        const bool crBeforeLf =
            c == '\r' && counted_ + 1 < text_.size() && text_[counted_ + 1] == '\n';
        if ((c == '\n' || c == '\r') && !crBeforeLf) ++line_;
    }
    return line_;
}

std::string HexText(std::uint32_t value) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + text;
}

std::string Joined(const std::vector<std::string>& items, std::string_view separator) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += separator;
        text += items[i];
    }
    return text;
}

std::string Enumerated(const std::vector<std::string>& items, std::string_view conjunction) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += i + 1 == items.size() ? " " + std::string(conjunction) + " " : ", ";
        text += items[i];
    }
    return text;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        fields.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) return fields;
        start = end + 1;
    }
}

}  // namespace pkgcheck
