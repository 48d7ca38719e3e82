#pragma once
// Unicode text as a program using the ANSI functions sees it: in the user's
// ANSI code page, one or two bytes a character.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Mbcs.h"

namespace pkgcheck {

enum class Unicode { Utf8, Utf16Le, Utf16Be };

struct AnsiText {
    std::string text;
    // Characters the code page lacks became '?', the default character the
    // ANSI registry functions put in their place: where, as offsets into
    // `text` (the first few), and how many in all.
    std::vector<std::size_t> substituted;
    std::size_t substitutedCount = 0;
    std::string error;  // non-empty: the code page is not available here
};

// `codePage` is a Windows code page number (1252, 932...).
AnsiText ToAnsi(std::string_view text, Unicode form, int codePage);

// The lead bytes of a Windows ANSI code page given by number; false for a
// number that names none.
bool CodePageFor(int number, launcher::CodePage* cp);

// The user's ANSI code page, settled once for the whole check: how the
// launcher splits key.ini into characters, what the text of Unicode device
// files becomes, and how the report names it.
struct CodePageSetting {
    launcher::CodePage cp;
    int number = 1252;
    std::string name;
};

}  // namespace pkgcheck
