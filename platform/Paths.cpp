#include "platform/Paths.h"

namespace launcher {
namespace {
bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
}  // namespace

bool IsFullPath(std::string_view path) {
    if (path.size() < 3) return false;
    if (IsAsciiLetter(path[0]) && path[1] == ':' && path[2] == '\\') return true;
    return path[0] == '\\' && path[1] == '\\' && path[2] != '\\';
}

std::string_view DirectoryOf(std::string_view path, const CodePage& cp) {
    const std::size_t slash = FindLastCharacter(path, '\\', cp);
    if (slash == std::string_view::npos) return std::string_view();
    const std::string_view dir(path.data(), slash + 1);
    return IsFullPath(dir) ? dir : std::string_view();
}

}  // namespace launcher
