// The platform interface on Windows itself: thin calls into the system, plus
// the places where the system's own behaviour is not safe enough to pass
// through unchanged. It calls no C library function but exit(), so the
// launcher can ship without one (platform/win32/Runtime.cpp gives it exit).

#include "platform/win32/WindowsPlatform.h"

#include <windows.h>

#include <cstdlib>

#include "platform/Bytes.h"
#include "platform/Platform.h"

namespace launcher {
namespace {

static_assert(sizeof(VersionRecord) == sizeof(OSVERSIONINFOEXA), "record layout");
static_assert(offsetof(VersionRecord, platformId) == offsetof(OSVERSIONINFOA, dwPlatformId),
              "record layout");
static_assert(offsetof(VersionRecord, servicePackMajor) ==
                  offsetof(OSVERSIONINFOEXA, wServicePackMajor),
              "record layout");
static_assert(kSeekSet == FILE_BEGIN && kSeekEnd == FILE_END, "seek origins");

constexpr int kCommonControlsInitOrdinal = 17;
// Reads are split so that no single call asks a file system or redirector of
// an old system for more than it is known to take.
constexpr DWORD kReadChunk = 1 << 20;

// The mode the process was started with; kept only once our own was taken.
UINT g_startErrorMode = 0;
bool g_errorModeTaken = false;

HKEY ToHkey(RegistryKey key) { return reinterpret_cast<HKEY>(key); }
HANDLE ToHandle(FileStream stream) { return static_cast<HANDLE>(stream); }

class WindowsPlatform final : public Platform {
public:
    std::size_t ModuleFileName(char* buffer, std::size_t size) override {
        if (size == 0 || size > MAXDWORD) return 0;
        const DWORD got =
            GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, static_cast<DWORD>(size));
        if (got == 0) return 0;
        // Windows 2000 and XP return a cut path without its terminating NUL
        // and with the whole buffer's length; later systems add the NUL.
        // Either way a cut path is no path.
        if (got >= size) return size;
        buffer[got] = '\0';
        return got;
    }

    [[noreturn]] void EndProcessNow(int status) override { std::exit(status); }

    bool IsLeadByte(unsigned char byte) override { return IsDBCSLeadByte(byte) != FALSE; }

    void InitCommonControls() override {
        void(WINAPI * init)() = nullptr;
        if (TakeFunction(LoadSystemLibrary("comctl32.dll"),
                         MAKEINTRESOURCEA(kCommonControlsInitOrdinal), &init))
            init();
    }

    bool GetVersionRecord(VersionRecord* record) override {
        return GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(record)) != FALSE;
    }

    int ShowMessageBox(const char* text, const char* caption, unsigned style) override {
        return MessageBoxA(nullptr, text, caption, style);
    }

    void RestoreStartErrorMode() override {
        if (g_errorModeTaken) SetErrorMode(g_startErrorMode);
    }

    unsigned StartProgram(const char* commandLine, unsigned showCommand) override {
        return WinExec(commandLine, showCommand);
    }

    void Sleep(unsigned milliseconds) override { ::Sleep(milliseconds); }

    bool TopLevelWindowExists(const char* title) override {
        return FindWindowA(nullptr, title) != nullptr;
    }

    long OpenRegistryKey(RegistryRoot, const char* path, std::uint32_t access,
                         RegistryKey* key) override {
        HKEY opened = nullptr;
        const LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &opened);
        *key = reinterpret_cast<RegistryKey>(opened);
        return result;
    }

    long QuerySubkeyCount(RegistryKey key, std::uint32_t* count) override {
        DWORD subkeys = 0;
        const LONG result =
            RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr);
        *count = subkeys;
        return result;
    }

    long EnumSubkey(RegistryKey key, std::uint32_t index, char* name,
                    std::uint32_t nameSize) override {
        return RegEnumKeyA(ToHkey(key), index, name, nameSize);
    }

    long CloseRegistryKey(RegistryKey key) override { return RegCloseKey(ToHkey(key)); }

    // Streams are file handles, opened for reading only, in the sharing
    // mode the C library's fopen uses: others may read and write meanwhile.
    FileStream OpenStream(const char* path, const char* mode) override {
        if (mode[0] != 'r' || mode[1] != 'b' || mode[2] != '\0') return nullptr;
        HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        return file == INVALID_HANDLE_VALUE ? nullptr : file;
    }

    // Positions past 2 GiB are reported as failures: they do not fit a long.
    // The high word is always asked for: without it Windows fails a position
    // beyond 32 bits, but Wine gives its low part, and a 4 GiB + 23-byte file
    // would be read as 23 bytes.
    int SeekStream(FileStream stream, long offset, int origin) override {
        return Position(stream, offset, static_cast<DWORD>(origin)) < 0 ? -1 : 0;
    }
    long TellStream(FileStream stream) override { return Position(stream, 0, FILE_CURRENT); }
    std::size_t ReadStream(void* buffer, std::size_t size, std::size_t count,
                           FileStream stream) override {
        if (size == 0 || count > static_cast<std::size_t>(-1) / size) return 0;
        char* to = static_cast<char*>(buffer);
        std::size_t left = size * count;
        std::size_t done = 0;
        while (left > 0) {
            const DWORD ask = left < kReadChunk ? static_cast<DWORD>(left) : kReadChunk;
            DWORD got = 0;
            if (!ReadFile(ToHandle(stream), to + done, ask, &got, nullptr) || got == 0) break;
            done += got;
            left -= got;
        }
        return done / size;
    }
    int CloseStream(FileStream stream) override { return CloseHandle(ToHandle(stream)) ? 0 : -1; }

    void* Allocate(std::size_t bytes) override { return HeapAlloc(GetProcessHeap(), 0, bytes); }
    void Release(void* block) override {
        if (block) HeapFree(GetProcessHeap(), 0, block);
    }

private:
    // The new position, or -1 when the move failed or the position does not
    // fit a long.
    static long Position(FileStream stream, long offset, DWORD origin) {
        // The offset is sign-extended into the high word, as the call wants.
        LONG high = offset < 0 ? -1 : 0;
        const DWORD low = SetFilePointer(ToHandle(stream), offset, &high, origin);
        // A failure gives all ones, which is past 2 GiB as well.
        return high != 0 || low > MAXLONG ? -1L : static_cast<long>(low);
    }
};

}  // namespace

HMODULE LoadSystemLibrary(const char* name) {
    // The library is not one of the system's known DLLs, so loading it by
    // name would take a copy planted beside the program first. The system
    // directory's copy is loaded by its full path instead.
    char path[MAX_PATH + 16];
    const std::size_t length = TextLength(name);
    const UINT directory = GetSystemDirectoryA(path, MAX_PATH);
    if (directory == 0 || directory >= MAX_PATH || length > 14) return nullptr;
    path[directory] = '\\';
    CopyBytes(path + directory + 1, name, length + 1);
    // With the altered search path, the library's own imports that are no
    // known DLLs are sought from its directory, the system directory, not
    // from the program's
    // (learn.microsoft.com/windows/win32/api/libloaderapi/nf-libloaderapi-loadlibraryexa).
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void TakeOwnErrorMode() {
    // A missing medium in a drive must not stop the run with a system box.
    g_startErrorMode = SetErrorMode(0);
    SetErrorMode(g_startErrorMode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    g_errorModeTaken = true;
}

Platform& SystemPlatform() {
    static WindowsPlatform platform;
    return platform;
}

}  // namespace launcher
