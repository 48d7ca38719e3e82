// Whole runs of the launcher, each with one failure of the system beneath it:
// one platform call failing in one of the ways it can, or the heap giving
// nothing more from some allocation on. Whatever fails, the run ends with status 0 and with one of
// the outcomes a user may meet, and nothing is read or started by a path other than the launcher's
// own directory.

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

#include "app/LauncherApp.h"
#include "install/Installer.h"
#include "tests/unit/FakePlatform.h"

namespace launcher {
namespace {

using testing::FakePlatform;
using testing::ProcessEnded;

// The n-th counted platform call fails in its way number `mode`.
struct Fault {
    int call = -1;
    int mode = 0;
};

class FaultyPlatform : public FakePlatform {
public:
    Fault fault;
    std::vector<int> modesOfCall;  // per counted call: its ways to fail

    std::size_t ModuleFileName(char* buffer, std::size_t size) override {
        switch (Fails(2)) {
            case 0:
                return 0;
            case 1:
                return size;  // does not fit
            default:
                return FakePlatform::ModuleFileName(buffer, size);
        }
    }
    bool GetVersionRecord(VersionRecord* record) override {
        return Fails(1) < 0 && FakePlatform::GetVersionRecord(record);
    }
    int ShowMessageBox(const char* text, const char* caption, unsigned style) override {
        const int result = FakePlatform::ShowMessageBox(text, caption, style);
        return Fails(1) < 0 ? result : 0;
    }
    unsigned StartProgram(const char* commandLine, unsigned showCommand) override {
        const unsigned result = FakePlatform::StartProgram(commandLine, showCommand);
        return Fails(1) < 0 ? result : 2;  // file not found
    }
    void Sleep(unsigned milliseconds) override { FakePlatform::Sleep(milliseconds); }
    bool TopLevelWindowExists(const char* title) override {
        const bool found = FakePlatform::TopLevelWindowExists(title);
        return Fails(1) < 0 && found;
    }
    long OpenRegistryKey(RegistryRoot root, const char* path, std::uint32_t access,
                         RegistryKey* key) override {
        return Fails(1) < 0 ? FakePlatform::OpenRegistryKey(root, path, access, key) : 5;
    }
    long QuerySubkeyCount(RegistryKey key, std::uint32_t* count) override {
        return Fails(1) < 0 ? FakePlatform::QuerySubkeyCount(key, count) : 6;
    }
    long EnumSubkey(RegistryKey key, std::uint32_t index, char* name, std::uint32_t size) override {
        const int mode = Fails(2);
        if (mode == 0) return 259;  // no more items
        if (mode == 1) return 234;  // more data
        return FakePlatform::EnumSubkey(key, index, name, size);
    }
    long CloseRegistryKey(RegistryKey key) override {
        const long result = FakePlatform::CloseRegistryKey(key);
        return Fails(1) < 0 ? result : 6;
    }
    FileStream OpenStream(const char* path, const char* mode) override {
        FileStream stream = FakePlatform::OpenStream(path, mode);
        return Fails(1) < 0 ? stream : nullptr;
    }
    int SeekStream(FileStream stream, long offset, int origin) override {
        return Fails(1) < 0 ? FakePlatform::SeekStream(stream, offset, origin) : -1;
    }
    long TellStream(FileStream stream) override {
        return Fails(1) < 0 ? FakePlatform::TellStream(stream) : -1L;
    }
    std::size_t ReadStream(void* buffer, std::size_t size, std::size_t count,
                           FileStream stream) override {
        const int mode = Fails(2);
        if (mode == 0) return 0;
        if (mode == 1) readLimit = (size * count) / 2;  // a short read
        return FakePlatform::ReadStream(buffer, size, count, stream);
    }
    int CloseStream(FileStream stream) override {
        const int result = FakePlatform::CloseStream(stream);
        return Fails(1) < 0 ? result : EOF;
    }
    void* Allocate(std::size_t bytes) override {
        return Fails(1) < 0 ? FakePlatform::Allocate(bytes) : nullptr;
    }

private:
    // The way this call fails, or -1 when it does not.
    int Fails(int modes) {
        const int call = static_cast<int>(modesOfCall.size());
        modesOfCall.push_back(modes);
        return call == fault.call ? fault.mode : -1;
    }
};

struct Machine {
    const char* name;
    std::uint32_t platformId, major, minor, build;
    std::string modulePath;
    std::vector<std::string> subkeys;
    int windowChecksFound;
};

const std::string kList = "[SupportedIDs]\r\nid1=VEN_1002&DEV_4380\r\nid2=VEN_8086&DEV_2922\r\n";

std::vector<Machine> Machines() {
    const std::vector<std::string> devices = {"VEN_0000&DEV_0000&SUBSYS_00000000&REV_00",
                                              "VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02",
                                              "VEN_8086&DEV_2923&SUBSYS_B0051458&REV_02"};
    // Longer than the first buffer the path is asked into.
    const std::string deep =
        "D:\\" + std::string(300, 'd') + "\\a b\\" + std::string(300, 'e') + "\\launcher.exe";
    return {
        {"xp", 2, 5, 1, 2600, "C:\\pkg\\launcher.exe", devices, 2},
        {"2000 without a supported device",
         2,
         5,
         0,
         2195,
         "C:\\pkg\\setup.exe",
         {"VEN_10DE&DEV_0001&SUBSYS_00000000&REV_A1"},
         0},
        {"xp, deep path with a blank", 2, 5, 1, 2600, deep, devices, 1},
        {"7", 2, 6, 1, 7601, "C:\\pkg\\launcher.exe", devices, 0},
        {"98", 1, 4, 10, 0x040A07CE, "C:\\pkg\\launcher.exe", devices, 0},
    };
}

// What one run did, as the user would see it.
struct Outcome {
    int status = -1;
    bool endedAtOnce = false;
};

Outcome RunOnce(FaultyPlatform& fake) {
    Outcome outcome;
    CLauncherApp app(fake);
    try {
        outcome.status = CWinApp::RunCurrent();
    } catch (const ProcessEnded& end) {
        outcome.status = end.status;
        outcome.endedAtOnce = true;
    }
    return outcome;
}

void Prepare(FaultyPlatform& fake, const Machine& m) {
    fake.SetVersion(m.platformId, m.major, m.minor, m.build);
    fake.modulePath = m.modulePath;
    fake.subkeys = m.subkeys;
    fake.windowChecksFound = m.windowChecksFound;
    const std::string dir = m.modulePath.substr(0, m.modulePath.rfind('\\') + 1);
    fake.files[dir + "key.ini"] = kList;
}

// The outcomes a user may meet, and nothing else.
void ExpectAllowed(const FaultyPlatform& fake, const Outcome& outcome, const Machine& m,
                   const std::string& what) {
    SCOPED_TRACE(std::string(m.name) + ", " + what);
    const std::string dir = m.modulePath.substr(0, m.modulePath.rfind('\\') + 1);
    const std::string exeName =
        m.modulePath.substr(dir.size(), m.modulePath.rfind('.') - dir.size());
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(fake.keysOpen, fake.keysClosed);
    for (const std::string& opened : fake.openedFiles) EXPECT_EQ(opened, dir + "key.ini rb");

    std::vector<std::string> starts;
    for (const std::string& e : fake.events)
        if (e.rfind("start ", 0) == 0) starts.push_back(e);
    ASSERT_LE(fake.boxes.size() + starts.size(), 1u) << "more than one box or start";
    if (m.platformId != 2 || m.major != 5) {
        // Elsewhere than on 2000 and XP nothing is read or started, whatever fails.
        EXPECT_TRUE(fake.openedFiles.empty());
        EXPECT_TRUE(starts.empty());
        for (const testing::Box& box : fake.boxes) EXPECT_EQ(box.text, "Message");
    }

    if (!starts.empty()) {
        bool exact = false;
        for (const std::string& subkey : m.subkeys) {
            FakePlatform heap;
            ByteString line(heap);
            ASSERT_TRUE(ComposeInstallerCommand(line, dir, subkey + "\""));
            exact = exact || starts[0] == "start 0 " + std::string(line.view());
        }
        EXPECT_TRUE(exact) << starts[0];
        EXPECT_FALSE(outcome.endedAtOnce);
        EXPECT_EQ(fake.events.back().rfind("find ", 0), 0u) << "no wait for the window";
        return;
    }
    if (fake.boxes.empty()) {  // a silent end
        EXPECT_FALSE(outcome.endedAtOnce);
        return;
    }

    const testing::Box& box = fake.boxes[0];
    if (box.text == "Message") {
        EXPECT_TRUE(box.caption == "Check OS type Error !" || box.caption == "Unknown OS type !");
        EXPECT_FALSE(outcome.endedAtOnce);
    } else if (box.caption == kUnsupportedCaption) {
        EXPECT_EQ(box.text, kUnsupportedText);
        EXPECT_TRUE(outcome.endedAtOnce);
    } else {
        EXPECT_EQ(box.text, "key.ini not found !!");
        // Without the executable's path its name is not known either.
        EXPECT_TRUE(box.caption == exeName || box.caption.empty()) << box.caption;
        EXPECT_EQ(box.style, kMbOk | kMbIconExclamation);
        EXPECT_TRUE(outcome.endedAtOnce);
    }
}

TEST(FaultInjection, EveryFaultEndsWithStatusZeroAndAnAllowedOutcome) {
    int platformFaults = 0;
    long heapFaults = 0;
    for (const Machine& m : Machines()) {
        FaultyPlatform clean;
        Prepare(clean, m);
        ExpectAllowed(clean, RunOnce(clean), m, "no fault");

        // One call failing covers one refused allocation among others.
        for (std::size_t call = 0; call < clean.modesOfCall.size(); ++call) {
            for (int mode = 0; mode < clean.modesOfCall[call]; ++mode) {
                FaultyPlatform fake;
                Prepare(fake, m);
                fake.fault = {static_cast<int>(call), mode};
                const Outcome outcome = RunOnce(fake);
                ExpectAllowed(
                    fake, outcome, m,
                    "call " + std::to_string(call) + " fails in way " + std::to_string(mode));
                ++platformFaults;
            }
        }
        // A heap that is used up stays so: every allocation from the k-th on
        // is refused, the box's own included.
        for (long k = 0; k < clean.allocations; ++k) {
            FaultyPlatform fake;
            Prepare(fake, m);
            fake.refuseAllocationsFrom = k;
            const Outcome outcome = RunOnce(fake);
            ExpectAllowed(fake, outcome, m, "allocations from " + std::to_string(k) + " refused");
            ++heapFaults;
        }
    }
    std::printf("fault points tried: %ld (%d platform call failures, %ld exhausted heaps)\n",
                platformFaults + heapFaults, platformFaults, heapFaults);
}

}  // namespace
}  // namespace launcher
