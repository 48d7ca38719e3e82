#include "probes/SupportedIds.h"

#include <limits>

#include "app/LauncherApp.h"
#include "platform/PackageFiles.h"

namespace launcher {

char* listText = nullptr;
SupportedId* supportedIds = nullptr;
std::int32_t supportedIdCount = 0;

std::int32_t CLauncherApp::FileLengthPlusOne(FileStream stream) {
    Platform& p = platform();
    const long here = p.TellStream(stream);
    if (here < 0 || p.SeekStream(stream, 0, kSeekEnd) != 0) return 0;
    const long end = p.TellStream(stream);
    // Left at the end, the stream would give nothing to read.
    if (p.SeekStream(stream, here, kSeekSet) != 0) return 0;
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
    const std::size_t length = static_cast<std::size_t>(size) - 1;
    const std::size_t got = p.ReadStream(block, 1, length, stream);
    p.CloseStream(stream);
    // A read that stops short of the length just measured (a bad sector, a
    // share gone away) would leave a shorter list, and with it "Worry" or a
    // device the whole list would not choose: the list is unreadable.
    if (got != length) {
        p.Release(block);
        return 0;
    }
    block[length] = '\0';
    listText = block;
    return 1;
}

bool CLauncherApp::IndexSupportedIds() {
    const std::string_view content(listText);
    const CodePage& cp = codePage();
    // Counted first, so the table is one block of the exact size: a list too
    // long to index fails here as a whole instead of part-way.
    const std::size_t count = ForEachSupportedId(content, cp, [](std::size_t, std::size_t) {});
    SupportedId* table = nullptr;
    if (count > 0) {
        if (count > std::numeric_limits<std::size_t>::max() / sizeof(SupportedId)) return false;
        table = static_cast<SupportedId*>(platform().Allocate(count * sizeof(SupportedId)));
        if (!table) return false;
        // The content is shorter than 2^31 bytes (FileLengthPlusOne), so
        // offsets and lengths fit.
        std::size_t i = 0;
        ForEachSupportedId(content, cp, [&](std::size_t offset, std::size_t length) {
            table[i++] = {static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length)};
        });
    }
    supportedIds = table;
    supportedIdCount = static_cast<std::int32_t>(count);
    return true;
}

void CLauncherApp::LoadSupportedIds() {
    ByteString path(platform());
    const bool loaded = !installDir.empty() && path.Assign(installDir.view()) &&
                        path.Append(package::kListFile) && ReadWholeFile(path.c_str()) &&
                        IndexSupportedIds();
    if (!loaded) EndWithoutList();
}

}  // namespace launcher
