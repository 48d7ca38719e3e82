// The platform interface on Windows itself: thin calls into the system and
// the C runtime, plus the two places where the system's own behaviour is not
// safe enough to pass through unchanged.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Platform.h"

namespace launcher {
namespace {

static_assert(sizeof(VersionRecord) == sizeof(OSVERSIONINFOEXA), "record layout");
static_assert(offsetof(VersionRecord, platformId) == offsetof(OSVERSIONINFOA, dwPlatformId),
              "record layout");
static_assert(offsetof(VersionRecord, servicePackMajor) ==
                  offsetof(OSVERSIONINFOEXA, wServicePackMajor),
              "record layout");

constexpr int kCommonControlsInitOrdinal = 17;

HKEY ToHkey(RegistryKey key) { return reinterpret_cast<HKEY>(key); }

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
        // The library is not one of the system's known DLLs, so importing it
        // by name would take a copy planted beside the launcher first. Load
        // the system directory's copy by its full path instead.
        char path[MAX_PATH + 16];
        const UINT length = GetSystemDirectoryA(path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return;
        std::strcat(path, "\\comctl32.dll");
        HMODULE library = LoadLibraryA(path);
        if (!library) return;
        using InitFunction = void(WINAPI*)();
        auto init = reinterpret_cast<InitFunction>(reinterpret_cast<void*>(
            GetProcAddress(library, MAKEINTRESOURCEA(kCommonControlsInitOrdinal))));
        if (init) init();
    }

    bool GetVersionRecord(VersionRecord* record) override {
        return GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(record)) != FALSE;
    }

    int ShowMessageBox(const char* text, const char* caption, unsigned style) override {
        return MessageBoxA(nullptr, text, caption, style);
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

    FileStream OpenStream(const char* path, const char* mode) override {
        return std::fopen(path, mode);
    }
    int SeekStream(FileStream stream, long offset, int origin) override {
        return std::fseek(static_cast<FILE*>(stream), offset, origin);
    }
    long TellStream(FileStream stream) override { return std::ftell(static_cast<FILE*>(stream)); }
    std::size_t ReadStream(void* buffer, std::size_t size, std::size_t count,
                           FileStream stream) override {
        return std::fread(buffer, size, count, static_cast<FILE*>(stream));
    }
    int CloseStream(FileStream stream) override { return std::fclose(static_cast<FILE*>(stream)); }
    void* Allocate(std::size_t bytes) override { return std::malloc(bytes); }
};

}  // namespace

Platform& SystemPlatform() {
    static WindowsPlatform platform;
    return platform;
}

}  // namespace launcher
