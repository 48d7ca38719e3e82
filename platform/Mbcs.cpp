#include "platform/Mbcs.h"

#include "platform/Bytes.h"
#include "platform/Platform.h"

namespace launcher {

CodePage CodePage::FromPlatform(Platform& platform) {
    CodePage cp;
    for (int b = 0; b < 256; ++b) cp.lead_[b] = platform.IsLeadByte(static_cast<unsigned char>(b));
    return cp;
}

CodePage CodePage::WithLeadRanges(const LeadRange* ranges, std::size_t count) {
    CodePage cp;
    for (std::size_t r = 0; r < count; ++r)
        for (int b = ranges[r].first < 0 ? 0 : ranges[r].first; b <= ranges[r].last && b < 256; ++b)
            cp.lead_[b] = true;
    return cp;
}

std::size_t FindCharacter(std::string_view text, char c, std::size_t start, const CodePage& cp) {
    for (std::size_t i = start; i < text.size(); i = cp.Next(text, i))
        if (text[i] == c) return i;
    return std::string_view::npos;
}

std::size_t FindLastCharacter(std::string_view text, char c, const CodePage& cp) {
    std::size_t found = std::string_view::npos;
    for (std::size_t i = 0; i < text.size(); i = cp.Next(text, i))
        if (text[i] == c) found = i;
    return found;
}

bool ContainsAtBoundary(std::string_view text, std::string_view needle, const CodePage& cp) {
    if (needle.empty()) return !text.empty();
    if (needle.size() > text.size()) return false;
    const std::size_t last = text.size() - needle.size();
    const char first = needle.front();
    for (std::size_t i = 0; i <= last; i = cp.Next(text, i)) {
        if (text[i] == first && CompareBytes(text.data() + i, needle.data(), needle.size()) == 0)
            return true;
    }
    return false;
}

}  // namespace launcher
