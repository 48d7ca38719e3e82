#include "pkgcheck/read/Ansi.h"

#include <cerrno>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace pkgcheck {
namespace {

constexpr std::size_t kSubstitutedKept = 16;

void Substitute(AnsiText* out, std::size_t at) {
    if (out->substituted.size() < kSubstitutedKept) out->substituted.push_back(at);
    ++out->substitutedCount;
}

}  // namespace

#ifdef _WIN32

namespace {

std::wstring Wide(std::string_view text, Unicode form) {
    std::wstring wide;
    if (form == Unicode::Utf8) {
        const int size = static_cast<int>(text.size());
        const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
        wide.resize(static_cast<std::size_t>(n));
        MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), n);
        return wide;
    }
    wide.resize(text.size() / 2);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const auto a = static_cast<unsigned char>(text[2 * i]);
        const auto b = static_cast<unsigned char>(text[2 * i + 1]);
        wide[i] = static_cast<wchar_t>(form == Unicode::Utf16Le ? a | (b << 8) : b | (a << 8));
    }
    return wide;
}

bool Convert(UINT codePage, const wchar_t* text, std::size_t length, std::string* out,
             bool* defaulted) {
    BOOL used = FALSE;
    // UTF-8 holds every character and takes no default character. Other
    // code pages give '?' and no look-alike, as iconv does on other hosts,
    // so that both builds of the tool report the same bytes.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int n = static_cast<int>(length);
    const int size = WideCharToMultiByte(codePage, flags, text, n, nullptr, 0, nullptr, nullptr);
    if (size == 0 && n != 0) return false;
    const std::size_t at = out->size();
    out->resize(at + static_cast<std::size_t>(size));
    WideCharToMultiByte(codePage, flags, text, n, out->data() + at, size, utf8 ? nullptr : "?",
                        utf8 ? nullptr : &used);
    *defaulted = used != FALSE;
    return true;
}

}  // namespace

AnsiText ToAnsi(std::string_view text, Unicode form, int codePage) {
    AnsiText out;
    const std::wstring wide = Wide(text, form);
    const auto cp = static_cast<UINT>(codePage);
    bool defaulted = false;
    if (!Convert(cp, wide.data(), wide.size(), &out.text, &defaulted)) {
        out.error = "code page " + std::to_string(codePage) + " is not available here";
        return out;
    }
    if (!defaulted) return out;
    // Only now find where: one character at a time.
    out.text.clear();
    for (std::size_t i = 0; i < wide.size();) {
        const bool pair = wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < wide.size();
        const std::size_t units = pair ? 2 : 1;
        const std::size_t at = out.text.size();
        Convert(cp, wide.data() + i, units, &out.text, &defaulted);
        if (defaulted) Substitute(&out, at);
        i += units;
    }
    return out;
}

#else

namespace {

// How many bytes the source character at `in` takes, so that one the code
// page lacks can be stepped over whole.
std::size_t CharacterSize(const char* in, std::size_t left, Unicode form) {
    if (form == Unicode::Utf8) {
        const auto lead = static_cast<unsigned char>(in[0]);
        const std::size_t size = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        return size < left ? size : left;
    }
    if (left < 4) return left < 2 ? left : 2;
    const auto high = static_cast<unsigned char>(in[form == Unicode::Utf16Le ? 1 : 0]);
    return high >= 0xD8 && high < 0xDC ? 4 : 2;
}

const char* IconvName(Unicode form) {
    return form == Unicode::Utf8 ? "UTF-8" : form == Unicode::Utf16Le ? "UTF-16LE" : "UTF-16BE";
}

}  // namespace

AnsiText ToAnsi(std::string_view text, Unicode form, int codePage) {
    AnsiText out;
    const iconv_t cd = iconv_open(("CP" + std::to_string(codePage)).c_str(), IconvName(form));
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        out.error = "code page " + std::to_string(codePage) + " is not available here";
        return out;
    }
    // No character takes more bytes in an ANSI code page than in UTF-8 or
    // UTF-16, so one block the size of the input normally holds the result.
    out.text.resize(text.size() + 1);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* put = out.text.data();
    std::size_t putLeft = out.text.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &put, &putLeft) != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG || putLeft == 0) {
            const std::size_t done = static_cast<std::size_t>(put - out.text.data());
            out.text.resize(out.text.size() + 2 * inLeft + 16);
            put = out.text.data() + done;
            putLeft = out.text.size() - done;
            continue;
        }
        if (errno != EILSEQ && errno != EINVAL) break;
        const std::size_t skip = CharacterSize(in, inLeft, form);
        Substitute(&out, static_cast<std::size_t>(put - out.text.data()));
        *put++ = '?';
        --putLeft;
        in += skip;
        inLeft -= skip;
    }
    iconv_close(cd);
    out.text.resize(static_cast<std::size_t>(put - out.text.data()));
    return out;
}

#endif

namespace {

bool IsSingleByteCodePage(int n) {
    const int known[] = {437,  720,  737,  775,  850,  852,  855,  857,  858,
                         860,  861,  862,  863,  864,  865,  866,  869,  874,
                         1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
    for (const int k : known)
        if (k == n) return true;
    return false;
}

}  // namespace

bool CodePageFor(int number, launcher::CodePage* cp) {
    if (number == 932) {
        *cp = launcher::CodePage::WithLeadRanges({{0x81, 0x9F}, {0xE0, 0xFC}});
    } else if (number == 936 || number == 949 || number == 950) {
        *cp = launcher::CodePage::WithLeadRanges({{0x81, 0xFE}});
    } else if (IsSingleByteCodePage(number)) {
        *cp = launcher::CodePage::SingleByte();
    } else {
        return false;
    }
    return true;
}

}  // namespace pkgcheck
