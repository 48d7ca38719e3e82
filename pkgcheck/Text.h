#pragma once
// Byte-string helpers shared by the readers and the report.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pkgcheck {

// The bytes as a reader can tell them apart: printable ASCII stands for
// itself, everything else (blanks, CR, LF, bytes above 0x7F) and the
// characters < > " are written <XX>.
std::string Visible(std::string_view bytes);

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
// Lines split at LF, each without its line end (a CR before the LF goes too).
std::vector<std::string_view> SplitLines(std::string_view text);

// A text file in whichever form Windows tools write it: UTF-16 with a
// byte-order mark becomes UTF-8, a UTF-8 mark is dropped, anything else is
// taken as ANSI bytes.
struct DecodedText {
    std::string text;
    std::string encoding;  // "UTF-16LE", "UTF-16BE", "UTF-8", "ANSI"
    std::string error;     // non-empty when the bytes cannot be decoded
};
DecodedText DecodeText(std::string_view bytes);

// Line numbers as an editor shows them: CR LF, a lone CR and a lone LF each
// end a line.
class LineIndex {
public:
    explicit LineIndex(std::string_view text);
    // 1-based line of the byte at `offset`; a line end belongs to the line
    // it ends.
    int LineOf(std::size_t offset) const;

private:
    std::vector<std::size_t> starts_;
};

}  // namespace pkgcheck
