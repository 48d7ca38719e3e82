#pragma once
// A scripted machine for the launcher's logic: an in-memory registry, files
// and version record, and a record of every box, start and sleep.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace launcher::testing {

// Thrown where the real process would end at once.
struct ProcessEnded {
    int status;
};

struct Box {
    std::string text;
    std::string caption;
    unsigned style;
};

class FakePlatform : public Platform {
public:
    ~FakePlatform() override {
        for (void* block : blocks_) std::free(block);
    }
    FakePlatform() = default;
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    // --- script ---
    std::string modulePath = "C:\\pkg\\launcher.exe";
    bool modulePathFails = false;
    std::set<unsigned char> leadBytes;
    // One answer per version query, in order; a query past the end fails.
    struct VersionAnswer {
        bool ok;
        VersionRecord record;
    };
    std::deque<VersionAnswer> versionAnswers;
    std::vector<std::uint32_t> versionQuerySizes;

    std::map<std::string, std::string> files;
    bool tellFails = false;
    int seekFailsAt = -1;  // index of the seek that fails
    std::size_t readLimit = static_cast<std::size_t>(-1);
    // Allocations from this one on (counted from 0) are refused; -1: none.
    long refuseAllocationsFrom = -1;

    bool pciKeyExists = true;
    bool countFails = false;
    std::vector<std::string> subkeys;
    long enumFailsAt = -1;
    std::uint32_t extraCount = 0;  // subkeys counted but not there

    // How many checks find the installer window.
    int windowChecksFound = 0;
    // What the user chooses in each box, in order; then OK (1).
    std::vector<int> boxAnswers;

    // --- record ---
    std::vector<Box> boxes;
    std::vector<std::string> events;  // starts, sleeps and window checks in order
    std::vector<std::string> openedFiles;
    std::vector<std::size_t> moduleBufferSizes;
    int keysOpen = 0;
    int keysClosed = 0;
    int commonControlsInits = 0;

    void SetVersion(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                    std::uint32_t build) {
        versionAnswers.clear();
        versionAnswers.push_back({true, MakeRecord(platformId, major, minor, build)});
    }
    static VersionRecord MakeRecord(std::uint32_t platformId, std::uint32_t major,
                                    std::uint32_t minor, std::uint32_t build) {
        VersionRecord r{};
        r.majorVersion = major;
        r.minorVersion = minor;
        r.buildNumber = build;
        r.platformId = platformId;
        return r;
    }

    // --- Platform ---
    // As Windows XP: a path that does not fit comes back cut, without its
    // NUL, with the buffer's length.
    std::size_t ModuleFileName(char* buffer, std::size_t size) override {
        moduleBufferSizes.push_back(size);
        if (modulePathFails) return 0;
        const std::size_t n = std::min(modulePath.size(), size);
        std::memcpy(buffer, modulePath.data(), n);
        if (n == size) return size;
        buffer[n] = '\0';
        return n;
    }
    [[noreturn]] void EndProcessNow(int status) override { throw ProcessEnded{status}; }
    bool IsLeadByte(unsigned char byte) override { return leadBytes.count(byte) != 0; }
    void InitCommonControls() override { ++commonControlsInits; }

    bool GetVersionRecord(VersionRecord* record) override {
        versionQuerySizes.push_back(record->infoSize);
        if (versionAnswers.empty()) return false;
        VersionAnswer answer = versionAnswers.front();
        versionAnswers.pop_front();
        if (!answer.ok) return false;
        const std::uint32_t size = record->infoSize;
        std::memcpy(record, &answer.record, sizeof *record);
        record->infoSize = size;
        return true;
    }
    int ShowMessageBox(const char* text, const char* caption, unsigned style) override {
        boxes.push_back({text, caption, style});
        if (boxAnswers.empty()) return 1;
        const int answer = boxAnswers.front();
        boxAnswers.erase(boxAnswers.begin());
        return answer;
    }
    void RestoreStartErrorMode() override { events.push_back("error mode of the start"); }
    unsigned StartProgram(const char* commandLine, unsigned showCommand) override {
        events.push_back("start " + std::to_string(showCommand) + " " + commandLine);
        return 33;
    }
    void Sleep(unsigned milliseconds) override {
        events.push_back("sleep " + std::to_string(milliseconds));
    }
    bool TopLevelWindowExists(const char* title) override {
        events.push_back(std::string("find ") + title);
        return windowChecksFound-- > 0;
    }

    long OpenRegistryKey(RegistryRoot, const char* path, std::uint32_t access,
                         RegistryKey* key) override {
        if (!pciKeyExists || std::string(path) != "SYSTEM\\CurrentControlSet\\Enum\\PCI" ||
            access != kKeyRead)
            return 2;
        ++keysOpen;
        *key = 0x1234;
        return 0;
    }
    long QuerySubkeyCount(RegistryKey, std::uint32_t* count) override {
        if (countFails) return 5;
        *count = static_cast<std::uint32_t>(subkeys.size()) + extraCount;
        return 0;
    }
    long EnumSubkey(RegistryKey, std::uint32_t index, char* name, std::uint32_t size) override {
        enumeratedIndices.push_back(index);
        if (static_cast<long>(index) == enumFailsAt || index >= subkeys.size()) return 259;
        const std::string& s = subkeys[index];
        if (s.size() + 1 > size) return 234;
        std::memcpy(name, s.c_str(), s.size() + 1);
        return 0;
    }
    long CloseRegistryKey(RegistryKey) override {
        ++keysClosed;
        return 0;
    }
    std::vector<std::uint32_t> enumeratedIndices;

    FileStream OpenStream(const char* path, const char* mode) override {
        openedFiles.push_back(std::string(path) + " " + mode);
        auto it = files.find(path);
        if (it == files.end()) return nullptr;
        streams_.push_back(std::make_unique<Stream>(Stream{it->second, 0, false}));
        return streams_.back().get();
    }
    int SeekStream(FileStream stream, long offset, int origin) override {
        if (seeks++ == seekFailsAt) return -1;
        Stream& s = *static_cast<Stream*>(stream);
        const long base = origin == SEEK_END   ? static_cast<long>(s.data.size())
                          : origin == SEEK_CUR ? s.pos
                                               : 0;
        s.pos = base + offset;
        return 0;
    }
    long TellStream(FileStream stream) override {
        return tellFails ? -1L : static_cast<Stream*>(stream)->pos;
    }
    std::size_t ReadStream(void* buffer, std::size_t size, std::size_t count,
                           FileStream stream) override {
        Stream& s = *static_cast<Stream*>(stream);
        readRequests.push_back(size * count);
        const std::size_t left = s.data.size() - static_cast<std::size_t>(s.pos);
        const std::size_t n = std::min({size * count, left, readLimit});
        std::memcpy(buffer, s.data.data() + s.pos, n);
        s.pos += static_cast<long>(n);
        return n;
    }
    int CloseStream(FileStream stream) override {
        static_cast<Stream*>(stream)->closed = true;
        ++streamsClosed;
        return 0;
    }
    void* Allocate(std::size_t bytes) override {
        const long number = allocations++;
        if (refuseAllocationsFrom >= 0 && number >= refuseAllocationsFrom) return nullptr;
        // Poisoned, so a missing terminator shows up as stray bytes.
        void* block = std::malloc(bytes == 0 ? 1 : bytes);
        std::memset(block, 'Z', bytes);
        blocks_.insert(block);
        return block;
    }
    void Release(void* block) override {
        if (!block) return;
        // Only blocks of this platform's heap, and each once.
        if (blocks_.erase(block) != 1) std::abort();
        std::free(block);
    }
    long allocations = 0;
    std::vector<std::size_t> readRequests;
    int seeks = 0;
    int streamsClosed = 0;

    int StreamsOpened() const { return static_cast<int>(streams_.size()); }

private:
    struct Stream {
        std::string data;
        long pos;
        bool closed;
    };
    std::vector<std::unique_ptr<Stream>> streams_;
    std::set<void*> blocks_;
};

}  // namespace launcher::testing
