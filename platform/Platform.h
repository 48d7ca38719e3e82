#pragma once
// The launcher's only window on the operating system. Everything under app/,
// probes/ and install/ reaches Windows, files, the heap and the application
// framework through this interface, so the whole run can be replayed against
// a scripted machine on any host.

#include <cstddef>
#include <cstdint>

#include "platform/Heap.h"

namespace launcher {

// Message-box styles, with the values Windows gives them.
constexpr unsigned kMbOk = 0x00000000u;
constexpr unsigned kMbIconExclamation = 0x00000030u;
constexpr unsigned kMbIconMask = 0x000000F0u;

// Show commands for starting a program.
constexpr unsigned kSwHide = 0;

// Origins for SeekStream, with the values the C library gives them.
constexpr int kSeekSet = 0;
constexpr int kSeekEnd = 2;

// Registry access right and root key understood by OpenRegistryKey.
constexpr std::uint32_t kKeyRead = 0x00020019u;
enum class RegistryRoot { LocalMachine };

// The version record as the system fills it: the 156-byte extended record,
// whose leading 148 bytes are the basic one. Only the first five fields are
// read; the layout must match Windows' own so the system can write into it.
struct VersionRecord {
    std::uint32_t infoSize;
    std::uint32_t majorVersion;
    std::uint32_t minorVersion;
    std::uint32_t buildNumber;
    std::uint32_t platformId;
    char servicePackText[128];
    std::uint16_t servicePackMajor;
    std::uint16_t servicePackMinor;
    std::uint16_t suiteMask;
    std::uint8_t productType;
    std::uint8_t reserved;
};
static_assert(sizeof(VersionRecord) == 156, "extended version record is 156 bytes");
constexpr std::uint32_t kVersionRecordSize = 156;
constexpr std::uint32_t kBasicVersionRecordSize = 148;
// The record's platform identifiers.
constexpr std::uint32_t kPlatformWin32s = 0;
constexpr std::uint32_t kPlatformWindows = 1;
constexpr std::uint32_t kPlatformNt = 2;

using RegistryKey = std::uintptr_t;
using FileStream = void*;

class Platform : public Heap {
public:
    virtual ~Platform() = default;

    // --- process and framework ---
    // Full path of the running executable, NUL-terminated, and its length.
    // `size` when the path does not fit (the buffer then holds nothing
    // usable), 0 when it cannot be had.
    virtual std::size_t ModuleFileName(char* buffer, std::size_t size) = 0;
    // Ends the process at once with `status`; static destructors still run.
    [[noreturn]] virtual void EndProcessNow(int status) = 0;
    // Whether `byte` starts a double-byte character in the ANSI code page.
    virtual bool IsLeadByte(unsigned char byte) = 0;
    // The common-controls initialisation, taken from the system directory's
    // copy of the library only.
    virtual void InitCommonControls() = 0;

    // --- system services ---
    virtual bool GetVersionRecord(VersionRecord* record) = 0;
    // A modal box with no owner; returns when dismissed.
    virtual int ShowMessageBox(const char* text, const char* caption, unsigned style) = 0;
    // Puts back the error mode the process was started with. A program
    // started afterwards inherits it, so the system's own boxes (a missing
    // DLL entry point, a missing disk) reach it as they would without us.
    virtual void RestoreStartErrorMode() = 0;
    virtual unsigned StartProgram(const char* commandLine, unsigned showCommand) = 0;
    virtual void Sleep(unsigned milliseconds) = 0;
    // Whether a top-level window has this title (letter case not significant).
    virtual bool TopLevelWindowExists(const char* title) = 0;

    // --- registry, read only; results are Windows error codes, 0 = success ---
    virtual long OpenRegistryKey(RegistryRoot root, const char* path, std::uint32_t access,
                                 RegistryKey* key) = 0;
    virtual long QuerySubkeyCount(RegistryKey key, std::uint32_t* count) = 0;
    virtual long EnumSubkey(RegistryKey key, std::uint32_t index, char* name,
                            std::uint32_t nameSize) = 0;
    virtual long CloseRegistryKey(RegistryKey key) = 0;

    // --- byte streams (as fopen, fseek, ftell, fread, fclose) and the heap ---
    virtual FileStream OpenStream(const char* path, const char* mode) = 0;
    virtual int SeekStream(FileStream stream, long offset, int origin) = 0;
    virtual long TellStream(FileStream stream) = 0;
    virtual std::size_t ReadStream(void* buffer, std::size_t size, std::size_t count,
                                   FileStream stream) = 0;
    virtual int CloseStream(FileStream stream) = 0;
    // The heap: Allocate and Release (Heap.h).
};

// The platform of the running process (defined by the Windows implementation).
Platform& SystemPlatform();

}  // namespace launcher
