#include <gtest/gtest.h>

#include "pkgcheck/Devices.h"
#include "tests/pkgcheck/Fixtures.h"

namespace pkgcheck {
namespace {

using Names = std::vector<std::string>;
using testing::Utf16Le;

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
    const DeviceList unicode = ParseDeviceFile(
        Utf16Le(std::string("Windows Registry Editor Version 5.00\r\n") + kRegExportBody));
    ASSERT_EQ(unicode.error, "");
    EXPECT_EQ(unicode.names, (Names{"VEN_1002&DEV_4150&SUBSYS_00000000&REV_00",
                                    "VEN_8086&DEV_2922&SUBSYS_11001AF4&REV_02"}));
    EXPECT_TRUE(unicode.sortedHere);

    const DeviceList ansi = ParseDeviceFile(std::string("REGEDIT4\r\n") + kRegExportBody);
    EXPECT_EQ(ansi.names, unicode.names);
    EXPECT_EQ(ansi.format, "reg export (REGEDIT4)");

    EXPECT_NE(ParseDeviceFile("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n").error, "");
}

TEST(ParseDeviceFile, LspciRecordsBecomeWindowsNames) {
    const DeviceList lspci = ParseDeviceFile(
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
    EXPECT_EQ(lspci.names, (Names{"VEN_1002&DEV_4150&SUBSYS_00000000&REV_00",
                                  "VEN_8086&DEV_2922&SUBSYS_11001AF4&REV_02",
                                  "VEN_8086&DEV_29C0&SUBSYS_00000000&REV_00"}));

    EXPECT_NE(ParseDeviceFile("Slot:\t00:00.0\nClass:\t0600\nVendor:\t8086\n").error, "");
}

TEST(ParseDeviceFile, PlainNamesAreSortedAsTheRegistryKeepsThem) {
    const DeviceList plain = ParseDeviceFile(
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
    EXPECT_EQ(plain.names, (Names{"VEN_1002&DEV_4150", "VEN_10DE&DEV_0001&SUBSYS_00000000&REV_A1",
                                  "VEN_10D_", "VEN_8086&DEV_2922&SUBSYS_00000000&REV_02"}));
    EXPECT_NE(ParseDeviceFile("\r\n\r\n").error, "");
    EXPECT_NE(ParseDeviceFile(std::string("\xFF\xFEV\0E", 5)).error, "");
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
    EXPECT_EQ(list.names, (Names{"VEN_8086&DEV_2922&SUBSYS_11001AF4&REV_02",
                                 "VEN_8086&DEV_29C0&SUBSYS_00000000&REV_00"}));
    EXPECT_NE(ReadSysfsDevices((sys.path() / "none").string()).error, "");
}

}  // namespace
}  // namespace pkgcheck
