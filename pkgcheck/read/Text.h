#pragma once
// Byte-string helpers shared by the readers and the report.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pkgcheck {

// The bytes as a reader can tell them apart: printable ASCII stands for
// itself, everything else (blanks, CR, LF, bytes above 0x7F) and the
// characters < > " are written <XX>.
std::string Visible(std::string_view bytes);
// Visible(bytes) for a report line: a text that would take more than
// kShortVisibleLimit characters is shown as its first and last bytes and its
// length, "VEN_8086&DEV_2922...<20>ABC (50000000 bytes)", so one huge entry
// cannot bury the rest of the report. (" (" never occurs in Visible text, as a
// blank is written <20>.) `upperCase` shows ASCII letters in upper case.
constexpr std::size_t kShortVisibleLimit = 120;
std::string ShortVisible(std::string_view bytes, bool upperCase = false);

// "0x14C": upper-case hexadecimal, as headers and checksums are quoted.
std::string HexText(std::uint32_t value);

// The items with `separator` between them.
std::string Joined(const std::vector<std::string>& items, std::string_view separator);
// "A, B and C" (or "A, B or C", after `conjunction`).
std::string Enumerated(const std::vector<std::string>& items, std::string_view conjunction);

std::string UpperAscii(std::string_view text);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);
// Position of `needle` in `text` ignoring ASCII letter case, or npos.
std::size_t FindIgnoringCase(std::string_view text, std::string_view needle);
// The order in which the registry keeps subkeys: ASCII letters compared as
// upper case, everything else by byte value.
bool PrecedesInRegistry(std::string_view a, std::string_view b);

bool IsBlank(char c);
std::string_view TrimBlanks(std::string_view text);
// The fields between each `separator`; one, the whole text, when it has none.
std::vector<std::string_view> Split(std::string_view text, char separator);

// A text file in whichever form Windows tools write it: UTF-16 with a
// byte-order mark becomes UTF-8, a UTF-8 mark is dropped, anything else is
// taken as ANSI bytes.
struct DecodedText {
    std::string text;
    std::string encoding;  // "UTF-16LE", "UTF-16BE", "UTF-8", "ANSI"
    std::string error;     // non-empty when the bytes cannot be decoded
};
DecodedText DecodeText(std::string_view bytes);
// UTF-16 saved without a byte-order mark, told by its NUL bytes: text that
// is mostly ASCII has a NUL in every other byte. UnmarkedUtf16 gives
// Little or Big for such bytes; DecodeUnmarkedUtf16 is false, with
// `decoded` untouched, when the bytes do not look like that.
enum class ByteOrder { None, Little, Big };
ByteOrder UnmarkedUtf16(std::string_view bytes);
bool DecodeUnmarkedUtf16(std::string_view bytes, DecodedText* decoded);

// Line numbers as an editor shows them: CR LF, a lone CR and a lone LF each
// end a line. Counts forward from where the last question left off, so
// asking in file order costs one pass over the text in all.
class LineCounter {
public:
    explicit LineCounter(std::string_view text) : text_(text) {}
    // 1-based line of the byte at `offset`, which is at or after the offset
    // asked before; a line end belongs to the line it ends.
    int LineOf(std::size_t offset);

private:
    std::string_view text_;
    std::size_t counted_ = 0;  // line ends before this offset are in line_
    int line_ = 1;
};

}  // namespace pkgcheck
