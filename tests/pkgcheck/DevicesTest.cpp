#include <gtest/gtest.h>

#include "pkgcheck/machines/Devices.h"
#include "tests/pkgcheck/Fixtures.h"

namespace pkgcheck {
namespace {

using Names = std::vector<std::string>;
using testing::Utf16Le;

DeviceList Parse(const std::string& bytes, int codePage = 1252) {
    return ParseDeviceFile(bytes, codePage, "devices");
}

// UTF-16LE without a byte-order mark, as some tools write "Unicode".
std::string Utf16LeNoMark(std::u16string_view text) {
    std::string out;
    for (const char16_t unit : text) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
    return out;
}

constexpr const char* kRegExportBody =
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI]\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_8086&DEV_2922&SUBSYS_"
    "11001AF4&REV_02]\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_8086&DEV_2922&SUBSYS_"
    "11001AF4&REV_02\\3&13c0b0c5&0&FA]\r\n"
    "\"DeviceDesc\"=\"[PCI\\\\VEN_1002]\"\r\n"
    "\"HardwareID\"=hex(7):50,00,43,00,49,00,5c,00,56,00,45,00,4e,00,5f,00,38,00,\\\r\n"
    "  30,00,38,00,36,00,00,00,00,00\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_1002&DEV_4150&SUBSYS_"
    "00000000&REV_00]\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_1002&DEV_4150&SUBSYS_"
    "00000000&REV_00\\4&1&0]\r\n";

TEST(ParseDeviceFile, RegExportGivesDirectSubkeysOnceInRegistryOrder) {
    const DeviceList unicode =
        Parse(Utf16Le(std::string("Windows Registry Editor Version 5.00\r\n") + kRegExportBody));
    ASSERT_EQ(unicode.error, "");
    EXPECT_EQ(unicode.names.ToVector(), (Names{"VEN_1002&DEV_4150&SUBSYS_00000000&REV_00",
                                               "VEN_8086&DEV_2922&SUBSYS_11001AF4&REV_02"}));
    EXPECT_TRUE(unicode.sortedHere);

    const DeviceList ansi = Parse(std::string("REGEDIT4\r\n") + kRegExportBody);
    EXPECT_EQ(ansi.names.ToVector(), unicode.names.ToVector());
    EXPECT_EQ(ansi.format, "reg export (REGEDIT4)");

    EXPECT_NE(Parse("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n").error, "");
}

TEST(ParseDeviceFile, LspciRecordsBecomeWindowsNames) {
    const DeviceList lspci = Parse(
        "Slot:\t00:1f.2\nClass:\t0106\nVendor:\t8086\nDevice:\t2922\nSVendor:\t1af4\n"
        "SDevice:\t1100\nRev:\t02\nProgIf:\t01\n\n"
        "Slot:\t00:00.0\nClass:\t0600\nVendor:\t8086\nDevice:\t29c0\n\n"
        "Slot:\t00:1f.3\nClass:\t0106\nVendor:\t8086\nDevice:\t2922\nSVendor:\t1af4\n"
        "SDevice:\t1100\nRev:\t02\n\n"
        "Slot:\t0000:01:00.0\nClass:\tVGA compatible controller [0300]\n"
        "Vendor:\tAdvanced Micro Devices [1002]\nDevice:\tRage [4150]\n");
    ASSERT_EQ(lspci.error, "");
    EXPECT_EQ(lspci.format, "lspci -vmmn");
    // SUBSYS_ is the subsystem device, then its vendor; a function's twin
    // shares its subkey.
    EXPECT_EQ(lspci.names.ToVector(), (Names{"VEN_1002&DEV_4150&SUBSYS_00000000&REV_00",
                                             "VEN_8086&DEV_2922&SUBSYS_11001AF4&REV_02",
                                             "VEN_8086&DEV_29C0&SUBSYS_00000000&REV_00"}));

    EXPECT_NE(Parse("Slot:\t00:00.0\nClass:\t0600\nVendor:\t8086\n").error, "");
}

TEST(ParseDeviceFile, PlainNamesAreSortedAsTheRegistryKeepsThem) {
    const DeviceList plain = Parse(
        "# from another machine\r\n"
        "VEN_8086&DEV_2922&SUBSYS_00000000&REV_02\r\n"
        "PCI\\VEN_10DE&DEV_0001&SUBSYS_00000000&REV_A1\\4&2a2b&0&0008\r\n"
        "\r\n"
        "VEN_1002&DEV_4150\r\n"
        "ven_1002&dev_4150\r\n"
        "VEN_10D_\r\n");
    ASSERT_EQ(plain.error, "");
    // Letters compare as upper case, so '_' (0x5F) sorts after them; a name
    // differing only in case cannot be a second subkey.
    EXPECT_EQ(plain.names.ToVector(),
              (Names{"VEN_1002&DEV_4150", "VEN_10DE&DEV_0001&SUBSYS_00000000&REV_A1", "VEN_10D_",
                     "VEN_8086&DEV_2922&SUBSYS_00000000&REV_02"}));
}

// Each format the tool reads, and what it refuses rather than guess at.
TEST(ParseDeviceFile, ReadsEachFormatOrRefusesIt) {
    const std::string a = "VEN_8086&DEV_2922&SUBSYS_00000000&REV_02";
    const std::string b = "VEN_1AF4&DEV_1045&SUBSYS_10451AF4&REV_01";
    const std::string key = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI";
    struct Case {
        const char* what;
        std::string bytes;
        int codePage;
        std::string format;  // its start; empty: refused
        Names names;
        std::vector<std::string> warnings;  // kind:line
        std::string error;                  // part of it
    };
    const Case cases[] = {
        {"reg query, instances and values below the subkeys left out",
         "\r\n" + key + "\\" + b + "\r\n" + key + "\\" + a + "\r\n" + key + "\\" + a +
             "\\3&11583659&0&F8\r\n    DeviceDesc    REG_SZ    x\r\n" + key + "\r\n",
         1252,
         "reg query",
         Names{b, a},
         {},
         ""},
        {"reg query, abbreviated, in another control set, behind a comment",
         "# front desk\r\nHKLM\\SYSTEM\\ControlSet001\\Enum\\PCI\\" + a + "\r\n",
         1252,
         "reg query",
         Names{a},
         {},
         ""},
        {"reg export whose keys are none of the usual form: each is kept",
         "REGEDIT4\r\n\r\n[" + key + "\\VEN_8086&DEV_2922&CC_0106]\r\n\r\n[" + key + "\\" + a +
             "_X]\r\n",
         1252,
         "reg export",
         Names{"VEN_8086&DEV_2922&CC_0106", a + "_X"},
         {"odd-name:3", "odd-name:5"},
         ""},
        {"reg export whose header has blanks before its CR LF",
         "REGEDIT4  \r\n\r\n[" + key + "\\" + a + "]\r\n",
         1252,
         "reg export (REGEDIT4)",
         Names{a},
         {},
         ""},
        {"reg query of the PCI key without subkeys", key + "\r\n", 1252, "", {}, {}, "no subkey"},
        {"lspci -n: no subsystem shown, so none is assumed",
         "00:1f.2 0106: 8086:2922 (rev 02) (prog-if 01)\n0000:00:01.0 ffff: 1af4:1045\n",
         1252,
         "lspci -n",
         Names{"VEN_1AF4&DEV_1045&SUBSYS_00000000&REV_00", a},
         {"no-subsystem:0"},
         ""},
        {"lspci -nv: the subsystem from its own line",
         "00:01.0 ffff: 1af4:1045 (rev 01)\n\tSubsystem: 1af4:1045\n\tFlags: fast devsel\n\n"
         "00:1f.2 0106: 8086:2922 (rev 02)\n",
         1252,
         "lspci -nv",
         Names{b, a},
         {},
         ""},
        {"lspci -nmm, with and without a subsystem",
         "00:1f.2 \"0106\" \"8086\" \"2922\" -r02 -p01 \"\" \"\"\n"
         "00:01.0 \"ffff\" \"1af4\" \"1045\" -r01 -p00 \"1af4\" \"1045\"\n",
         1252,
         "lspci -nmm",
         Names{b, a},
         {},
         ""},
        {"lspci -nn: the IDs in brackets after the names",
         "00:1f.2 SATA controller [0106]: Intel Corporation 82801IR/IO/IH (ICH9R/DO/DH) 6 port "
         "SATA Controller [AHCI mode] [8086:2922] (rev 02)\n",
         1252,
         "lspci -n",
         Names{a},
         {"no-subsystem:0"},
         ""},
        {"lspci without -n",
         "00:1f.2 SATA controller: Intel Corporation Device 2922\n",
         1252,
         "",
         {},
         {},
         "run lspci with -n"},
        {"names trimmed; what is no subkey name is kept, and named",
         "  " + a + "\t\r\nVEN_8086\r\n" + b + "\r\n",
         1252,
         "subkey names",
         Names{b, "VEN_8086", a},
         {"odd-name:2"},
         ""},
        {"blank lines only", " \r\n\t\r\n\r\n", 1252, "", {}, {}, "no PCI subkey name"},
        {"random bytes",
         "\x93\xF1\x7F\x02\xA5\r\n\x11\xFE",
         1252,
         "",
         {},
         {},
         "no PCI subkey name"},
        {"an executable",
         std::string("MZ\x90\0\x03\0\0\0\x04\0\0\0\xFF\xFF\0\0", 16),
         1252,
         "",
         {},
         {},
         "NUL bytes"},
        {"UTF-16LE without a byte-order mark",
         Utf16LeNoMark(u"VEN_8086&DEV_2922&SUBSYS_00000000&REV_02\r\n"),
         1252,
         "subkey names, UTF-16LE without byte-order mark",
         Names{a},
         {},
         ""},
        {"UTF-16 in 1252: one byte a character",
         Utf16Le(a + "\r\n") + Utf16LeNoMark(u"A\u00E9\u00E9\r\n"),
         1252,
         "subkey names, UTF-16LE",
         Names{"A\xE9\xE9", a},
         {"odd-name:2"},
         ""},
        {"UTF-16 in 932: a double-byte character, and one it lacks",
         Utf16Le(a + "\r\n") + Utf16LeNoMark(u"\u30A2\u00E9\r\n"),
         932,
         "subkey names, UTF-16LE",
         Names{a, "\x83\x41?"},
         {"unconvertible:2", "odd-name:2"},
         ""},
    };
    for (const Case& c : cases) {
        const DeviceList list = Parse(c.bytes, c.codePage);
        if (c.format.empty()) {
            EXPECT_NE(list.error.find(c.error), std::string::npos) << c.what << ": " << list.error;
            EXPECT_EQ(list.failure, DevicesFailure::UnknownFormat) << c.what;
            EXPECT_TRUE(list.names.empty()) << c.what;
            continue;
        }
        EXPECT_EQ(list.error, "") << c.what;
        EXPECT_EQ(list.format.compare(0, c.format.size(), c.format), 0)
            << c.what << ": " << list.format;
        EXPECT_EQ(list.names.ToVector(), c.names) << c.what;
        std::vector<std::string> warnings;
        for (const Finding& f : list.warnings)
            warnings.push_back(f.kind + ":" + std::to_string(f.line));
        EXPECT_EQ(warnings, c.warnings) << c.what;
    }
}

TEST(HardwareIdsOf, GivesWindowsIdsMostSpecificFirst) {
    EXPECT_EQ(HardwareIdsOf("VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02"),
              (Names{"PCI\\VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02",
                     "PCI\\VEN_8086&DEV_2922&SUBSYS_B0051458", "PCI\\VEN_8086&DEV_2922&REV_02",
                     "PCI\\VEN_8086&DEV_2922"}));
    EXPECT_EQ(HardwareIdsOf("VEN_8086&DEV_2922"), Names{"PCI\\VEN_8086&DEV_2922"});
}

TEST(ReadSysfsDevices, BuildsNamesFromTheIdFiles) {
    const testing::TempDir sys;
    auto function = [&](const std::string& slot, const char* v, const char* d, const char* sv,
                        const char* sd, const char* rev) {
        sys.Write(slot + "/vendor", v);
        sys.Write(slot + "/device", d);
        sys.Write(slot + "/subsystem_vendor", sv);
        sys.Write(slot + "/subsystem_device", sd);
        sys.Write(slot + "/revision", rev);
    };
    function("0000:00:1f.2", "0x8086\n", "0x2922\n", "0x1af4\n", "0x1100\n", "0x02\n");
    function("0000:00:00.0", "0x8086\n", "0x29c0\n", "0x0000\n", "0x0000\n", "0x00\n");
    const DeviceList list = ReadSysfsDevices(sys.path().string());
    ASSERT_EQ(list.error, "");
    EXPECT_EQ(list.names.ToVector(), (Names{"VEN_8086&DEV_2922&SUBSYS_11001AF4&REV_02",
                                            "VEN_8086&DEV_29C0&SUBSYS_00000000&REV_00"}));
    EXPECT_NE(ReadSysfsDevices((sys.path() / "none").string()).error, "");
}

}  // namespace
}  // namespace pkgcheck
