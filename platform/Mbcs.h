#pragma once
// Byte strings in the process's ANSI code page. In a double-byte code page a
// trail byte can take the value of '\\' or '=', so every search here steps
// over double-byte characters as wholes and only matches at a character
// boundary.

#include <cstddef>
#include <string_view>

namespace launcher {

class Platform;

// Lead bytes from `first` to `last`, both included.
struct LeadRange {
    int first;
    int last;
};

class CodePage {
public:
    // Every byte stands for itself.
    static CodePage SingleByte() { return CodePage(); }
    // The lead bytes of the running process's ANSI code page.
    static CodePage FromPlatform(Platform& platform);
    static CodePage WithLeadRanges(const LeadRange* ranges, std::size_t count);
    // e.g. WithLeadRanges({{0x81, 0x9F}, {0xE0, 0xFC}})
    template <std::size_t N>
    static CodePage WithLeadRanges(const LeadRange (&ranges)[N]) {
        return WithLeadRanges(ranges, N);
    }

    bool IsLead(unsigned char byte) const { return lead_[byte]; }
    // Index of the character after the one starting at `i`. A lead byte at
    // the very end stands alone.
    std::size_t Next(std::string_view text, std::size_t i) const {
        return (IsLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? i + 2 : i + 1;
    }

private:
    bool lead_[256] = {};
};

// First single-byte character `c` at or after `start` (a character
// boundary), or npos.
std::size_t FindCharacter(std::string_view text, char c, std::size_t start, const CodePage& cp);
// Last single-byte character `c`, or npos.
std::size_t FindLastCharacter(std::string_view text, char c, const CodePage& cp);
// Whether `needle` occurs in `text` starting at a character boundary. An
// empty needle occurs in every non-empty text.
bool ContainsAtBoundary(std::string_view text, std::string_view needle, const CodePage& cp);

}  // namespace launcher
