#include "probes/SupportedIds.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "app/LauncherApp.h"

namespace launcher {

char* listText = nullptr;
std::vector<std::string> supportedIds;
std::int32_t supportedIdCount = 0;

std::vector<LocatedId> LocateSupportedIds(const char* text, const CodePage& cp) {
    const std::string_view content(text);
    std::vector<LocatedId> ids;
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t equals = FindCharacter(content, '=', start, cp);
        if (equals == std::string_view::npos) break;
        std::size_t end = content.find('\r', equals + 1);
        if (end == std::string_view::npos) end = content.size();
        ids.push_back({equals + 1, std::string(content.substr(equals + 1, end - equals - 1))});
        start = end;
    }
    return ids;
}

std::vector<std::string> ParseSupportedIds(const char* text, const CodePage& cp) {
    std::vector<std::string> ids;
    for (LocatedId& id : LocateSupportedIds(text, cp)) ids.push_back(std::move(id.text));
    return ids;
}

std::int32_t CLauncherApp::FileLengthPlusOne(FileStream stream) {
    Platform& p = platform();
    const long here = p.TellStream(stream);
    if (here < 0 || p.SeekStream(stream, 0, SEEK_END) != 0) return 0;
    const long end = p.TellStream(stream);
    p.SeekStream(stream, here, SEEK_SET);
    // 0 tells the caller the length is unknown or has no room for the NUL.
    if (end < 0 || end >= std::numeric_limits<std::int32_t>::max()) return 0;
    return static_cast<std::int32_t>(end) + 1;
}

int CLauncherApp::ReadWholeFile(const char* path) {
    Platform& p = platform();
    FileStream stream = p.OpenStream(path, "rb");
    if (!stream) return 0;
    const std::int32_t size = FileLengthPlusOne(stream);
    char* block =
        size > 0 ? static_cast<char*>(p.Allocate(static_cast<std::size_t>(size))) : nullptr;
    if (!block) {
        p.CloseStream(stream);
        return 0;
    }
    listText = block;
    // The file may be shorter (or longer) by now than its length said; the
    // NUL goes right after what was really read.
    const std::size_t got = p.ReadStream(listText, 1, static_cast<std::size_t>(size) - 1, stream);
    p.CloseStream(stream);
    listText[got] = '\0';
    return 1;
}

void CLauncherApp::LoadSupportedIds() {
    const std::string path = installDir + "key.ini";
    if (!ReadWholeFile(path.c_str())) {
        AppMessageBox("key.ini not found !!", kMbOk);
        EndNow();
    }
    supportedIds = ParseSupportedIds(listText, codePage());
    supportedIdCount = static_cast<std::int32_t>(supportedIds.size());
}

}  // namespace launcher
