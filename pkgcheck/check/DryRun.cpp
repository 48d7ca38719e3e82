#include "pkgcheck/check/DryRun.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "app/LauncherApp.h"
#include "install/Installer.h"
#include "platform/PackageFiles.h"
#include "probes/DeviceMatch.h"
#include "probes/SupportedIds.h"

namespace pkgcheck {
namespace {

using launcher::FileStream;
using launcher::RegistryKey;

// Windows' answers for the calls the launcher makes.
constexpr long kErrorMoreData = 234;
constexpr long kErrorNoMoreItems = 259;
constexpr RegistryKey kPciKey = 1;

// Where the real process would end.
struct ProcessEnded {};

struct ListStream {
    std::string_view bytes;
    std::size_t position = 0;
};

class ReplayPlatform final : public launcher::Platform {
public:
    ReplayPlatform(const launcher::CodePage& cp, const std::string& installDir,
                   std::optional<std::string_view> listFile, const NameList& names)
        : cp_(cp),
          modulePath_(installDir + "launcher.exe"),
          listPath_(installDir + launcher::package::kListFile),
          listFile_(listFile),
          names_(names),
          count_(names.size()) {}

    // The enumeration holds names [first, first + count) of the list.
    void Present(std::size_t first, std::size_t count) {
        first_ = first;
        count_ = count;
        command.clear();
        boxText.clear();
        boxCaption.clear();
        namesRead = static_cast<int>(first);
        stoppedAt = -1;
    }

    std::string command;
    std::string boxText;
    std::string boxCaption;
    int namesRead = 0;
    int stoppedAt = -1;

    std::size_t ModuleFileName(char* buffer, std::size_t size) override {
        if (modulePath_.size() >= size) return size;  // asked again with more room
        std::memcpy(buffer, modulePath_.c_str(), modulePath_.size() + 1);
        return modulePath_.size();
    }
    [[noreturn]] void EndProcessNow(int) override { throw ProcessEnded{}; }
    bool IsLeadByte(unsigned char byte) override { return cp_.IsLead(byte); }
    void InitCommonControls() override {}

    bool GetVersionRecord(launcher::VersionRecord*) override { return false; }
    int ShowMessageBox(const char* text, const char* caption, unsigned) override {
        boxText = text;
        boxCaption = caption;
        return 1;
    }
    void RestoreStartErrorMode() override {}
    unsigned StartProgram(const char* commandLine, unsigned) override {
        command = commandLine;
        return 33;  // above 31: started
    }
    void Sleep(unsigned) override {}
    bool TopLevelWindowExists(const char*) override { return false; }

    long OpenRegistryKey(launcher::RegistryRoot, const char*, std::uint32_t,
                         RegistryKey* key) override {
        *key = kPciKey;
        return 0;
    }
    long QuerySubkeyCount(RegistryKey, std::uint32_t* count) override {
        *count = static_cast<std::uint32_t>(count_);
        return 0;
    }
    // A name that does not fit the caller's buffer is an error, as in the
    // registry itself; nothing is copied then.
    long EnumSubkey(RegistryKey, std::uint32_t index, char* name, std::uint32_t size) override {
        namesRead = static_cast<int>(first_ + index) + 1;
        if (index >= count_) return kErrorNoMoreItems;
        const std::string_view subkey = names_[first_ + index];
        if (subkey.size() + 1 > size) {
            stoppedAt = static_cast<int>(first_ + index);
            return kErrorMoreData;
        }
        std::memcpy(name, subkey.data(), subkey.size());
        name[subkey.size()] = '\0';
        return 0;
    }
    long CloseRegistryKey(RegistryKey) override { return 0; }

    FileStream OpenStream(const char* path, const char*) override {
        if (!listFile_ || path != listPath_) return nullptr;
        stream_ = ListStream{*listFile_, 0};
        return &stream_;
    }
    int SeekStream(FileStream, long offset, int origin) override {
        const long base = origin == SEEK_END   ? static_cast<long>(stream_.bytes.size())
                          : origin == SEEK_CUR ? static_cast<long>(stream_.position)
                                               : 0;
        if (base + offset < 0) return -1;
        stream_.position = static_cast<std::size_t>(base + offset);
        return 0;
    }
    long TellStream(FileStream) override { return static_cast<long>(stream_.position); }
    std::size_t ReadStream(void* buffer, std::size_t size, std::size_t count, FileStream) override {
        const std::size_t left =
            stream_.position < stream_.bytes.size() ? stream_.bytes.size() - stream_.position : 0;
        const std::size_t items = size == 0 ? 0 : std::min(count, left / size);
        std::memcpy(buffer, stream_.bytes.data() + stream_.position, items * size);
        stream_.position += items * size;
        return items;
    }
    int CloseStream(FileStream) override { return 0; }
    // Blocks live as long as the replay: the launcher keeps its list text
    // until its process ends.
    void* Allocate(std::size_t bytes) override {
        blocks_.push_back(std::make_unique<char[]>(bytes));
        return blocks_.back().get();
    }
    void Release(void*) override {}

private:
    const launcher::CodePage& cp_;
    const std::string modulePath_;
    const std::string listPath_;
    std::optional<std::string_view> listFile_;
    const NameList& names_;
    std::size_t first_ = 0;
    std::size_t count_;
    ListStream stream_;
    std::vector<std::unique_ptr<char[]>> blocks_;
};

// The launcher keeps its list in process-wide state. Each replay starts from
// none, and the text's memory belongs to the replay, so the pointer must not
// outlive it.
struct LauncherStateReset {
    LauncherStateReset() { Clear(); }
    ~LauncherStateReset() { Clear(); }
    static void Clear() {
        launcher::listText = nullptr;
        launcher::supportedIds = nullptr;
        launcher::supportedIdCount = 0;
    }
};

int MatchingEntry(std::string_view name, const launcher::CodePage& cp) {
    return launcher::FindMatchingId(name, launcher::listText, launcher::supportedIds,
                                    static_cast<std::size_t>(launcher::supportedIdCount), cp);
}

// Up to this many entries every name is compared with each, as the launcher
// does; a longer list is looked up in an index.
constexpr std::size_t kEntriesComparedOneByOne = 64;

// The first entry of a long list that occurs in a name, found by looking up
// the name's pieces of each entry length rather than trying every entry:
// the cost of a name grows with its length, not with the list.
class EntryIndex {
public:
    EntryIndex(const char* text, const launcher::SupportedId* ids, std::size_t count,
               const launcher::CodePage& cp)
        : cp_(cp) {
        first_.reserve(count);
        for (std::size_t j = 0; j < count; ++j) {
            const std::string_view entry = launcher::IdText(text, ids[j]);
            if (entry.empty() && empty_ < 0) empty_ = static_cast<int>(j);
            if (entry.empty() || !first_.emplace(entry, static_cast<int>(j)).second) continue;
            lengths_.push_back(entry.size());
            if (entry.size() >= 2) starts_[Pair(entry, 0)] = true;
        }
        std::sort(lengths_.begin(), lengths_.end());
        lengths_.erase(std::unique(lengths_.begin(), lengths_.end()), lengths_.end());
    }

    // As launcher::FindMatchingId: an entry counts where it starts at a
    // character boundary of the name; an empty one occurs in every name
    // that is not empty.
    int FirstIn(std::string_view name) const {
        int best = name.empty() ? -1 : empty_;
        for (std::size_t i = 0; i < name.size() && best != 0; i = cp_.Next(name, i)) {
            // Most places start no entry of two bytes or more.
            const bool pairStarts = i + 1 < name.size() && starts_[Pair(name, i)];
            for (const std::size_t length : lengths_) {
                if (length > name.size() - i || (length >= 2 && !pairStarts)) break;
                const auto found = first_.find(name.substr(i, length));
                if (found != first_.end() && (best < 0 || found->second < best))
                    best = found->second;
            }
        }
        return best;
    }

private:
    static std::size_t Pair(std::string_view text, std::size_t i) {
        return static_cast<std::size_t>(static_cast<unsigned char>(text[i])) << 8 |
               static_cast<unsigned char>(text[i + 1]);
    }

    const launcher::CodePage& cp_;
    std::unordered_map<std::string_view, int> first_;        // entry text: its first index
    std::vector<std::size_t> lengths_;                       // ascending
    std::vector<bool> starts_ = std::vector<bool>(1 << 16);  // first two bytes of entries
    int empty_ = -1;
};

// One run of the launcher's start-up over the names the platform presents.
std::string RunOnce(ReplayPlatform& machine, const std::string& installDir) {
    LauncherStateReset::Clear();
    launcher::CLauncherApp app(machine);
    app.installDir.Assign(installDir);
    try {
        app.RunInstaller();
    } catch (const ProcessEnded&) {
    }
    if (machine.command.empty()) return "";
    const std::string_view key = app.deviceKey.view();
    return std::string(key.substr(0, key.size() - 1));
}

// The launcher walks every name up to its choice: each is compared with the
// list once, by the launcher or, past where it stopped, here.
void ReplayEveryName(ReplayPlatform& machine, const NameList& names, const std::string& installDir,
                     const launcher::CodePage& cp, DryRun& run) {
    machine.Present(0, names.size());
    const std::string chosen = RunOnce(machine, installDir);
    std::size_t compared = static_cast<std::size_t>(machine.namesRead);
    if (!machine.command.empty()) {
        compared = compared > 0 && names[compared - 1] == chosen ? compared - 1 : 0;
        for (std::size_t i = compared; i < names.size() && run.chosen < 0; ++i)
            if (names[i] == chosen) run.chosen = static_cast<int>(i);
        run.chosenEntry = MatchingEntry(chosen, cp);
    } else if (machine.stoppedAt >= 0) {
        compared = static_cast<std::size_t>(machine.stoppedAt);
    }
    compared = std::min(compared, names.size());
    run.firstMatch.assign(names.size(), -1);
    for (std::size_t i = compared; i < names.size(); ++i)
        run.firstMatch[i] = MatchingEntry(names[i], cp);
}

// With a long list the index finds the name where the launcher's walk ends:
// the first that matches or does not fit its buffer. Every name before it
// only passes by, so the launcher is run on that one name, at its place.
void ReplayIndexed(ReplayPlatform& machine, const NameList& names, const std::string& installDir,
                   const launcher::CodePage& cp, DryRun& run) {
    const EntryIndex index(launcher::listText, launcher::supportedIds,
                           static_cast<std::size_t>(launcher::supportedIdCount), cp);
    run.firstMatch.resize(names.size());
    std::size_t end = names.size();
    for (std::size_t i = 0; i < names.size(); ++i) {
        run.firstMatch[i] = index.FirstIn(names[i]);
        const bool fits = names[i].size() < launcher::kSubkeyNameSize;
        if (end == names.size() && (!fits || run.firstMatch[i] >= 0)) end = i;
    }
    machine.Present(end, end < names.size() ? 1 : 0);
    const std::string chosen = RunOnce(machine, installDir);
    if (machine.command.empty()) return;
    run.chosen = static_cast<int>(end);
    run.chosenEntry = MatchingEntry(chosen, cp);
}

}  // namespace

DryRun ReplayLauncher(std::optional<std::string_view> listFile, const NameList& names,
                      const std::string& installDir, const launcher::CodePage& cp) {
    ReplayPlatform machine(cp, installDir, listFile, names);
    DryRun run;
    {
        const LauncherStateReset reset;
        // First the list as the launcher reads it, over no names at all.
        machine.Present(0, 0);
        RunOnce(machine, installDir);
        const auto entries = static_cast<std::size_t>(launcher::supportedIdCount);
        if (launcher::listText == nullptr || entries <= kEntriesComparedOneByOne)
            ReplayEveryName(machine, names, installDir, cp, run);
        else
            ReplayIndexed(machine, names, installDir, cp, run);
    }
    run.command = machine.command;
    run.boxText = machine.boxText;
    run.boxCaption = machine.boxCaption;
    run.namesRead = machine.namesRead;
    run.stoppedAt = machine.stoppedAt;
    return run;
}

std::vector<Finding> ReplayWarnings(const DryRun& run, const NameList& names,
                                    const std::string& source) {
    std::vector<Finding> warnings;
    if (run.stoppedAt >= 0) {
        const std::size_t at = static_cast<std::size_t>(run.stoppedAt);
        warnings.push_back(
            {"scan-stops", source, 0, 0,
             "subkey " + std::to_string(at + 1) + " is " + std::to_string(names[at].size()) +
                 " bytes long and does not fit the launcher's 255-byte name buffer (254 and the "
                 "NUL): its scan fails there, so later subkeys are never compared"});
    }
    if (run.boxCaption == launcher::kUnsupportedCaption)
        warnings.push_back({"worry-box", source, 0, 0,
                            "the launcher chooses none of these devices and shows the \"" +
                                std::string(launcher::kUnsupportedCaption) + "\" box"});
    return warnings;
}

std::string AsInstallDir(std::string dir) {
    if (dir.empty() || (dir.back() != '\\' && dir.back() != '/')) dir += '\\';
    return dir;
}

}  // namespace pkgcheck
