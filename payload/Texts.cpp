#include "payload/Texts.h"

namespace payload {
namespace {
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

int DigitValue(char c, std::uint32_t base) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    return v >= 0 && static_cast<std::uint32_t>(v) < base ? v : -1;
}
}  // namespace

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

bool StartsWithText(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SameText(Slice(text, 0, prefix.size()), prefix);
}

bool ParseNumber(std::string_view text, std::uint32_t* value) {
    std::uint32_t base = 10;
    if (StartsWithText(text, "0x")) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    std::uint32_t v = 0;
    for (const char c : text) {
        const int digit = DigitValue(c, base);
        if (digit < 0 || v > (0xFFFFFFFFu - static_cast<std::uint32_t>(digit)) / base) return false;
        v = v * base + static_cast<std::uint32_t>(digit);
    }
    *value = v;
    return true;
}

bool AppendDecimal(launcher::ByteString& text, std::uint32_t value) {
    char digits[10];
    std::size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    bool ok = true;
    while (n > 0) ok = text.Append(digits[--n]) && ok;
    return ok;
}

bool AppendHex(launcher::ByteString& text, std::uint32_t value) {
    static const char kDigits[] = "0123456789ABCDEF";
    bool ok = text.Append("0x");
    for (int shift = 28; shift >= 0; shift -= 4)
        ok = text.Append(kDigits[(value >> shift) & 15]) && ok;
    return ok;
}

}  // namespace payload
