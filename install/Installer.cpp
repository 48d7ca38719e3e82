#include "install/Installer.h"

#include "app/LauncherApp.h"

namespace launcher {

std::string ComposeInstallerCommand(const std::string& installDir, const std::string& deviceKey) {
    // Unquoted, a path with a blank would let Windows try C:\Program.exe and
    // would split the setup-information path into several arguments. Tools
    // that parse the line rely on the unquoted form, so it stays otherwise.
    const bool quote = installDir.find(' ') != std::string::npos;
    const std::string q = quote ? "\"" : "";
    return q + installDir + "install.exe" + q + " " + q + installDir + "drv\\stordrv.inf" + q +
           " \"PCI\\" + deviceKey;
}

std::string InstallerWindowTitle(const std::string& installDir) {
    return installDir + "Install.exe";
}

void CLauncherApp::RunInstaller() {
    deviceKey.clear();
    if (!FindSupportedDevice()) {
        platform().ShowMessageBox(kUnsupportedText, kUnsupportedCaption, kMbOk);
        EndNow();
    }
    // Both strings exist before the tool starts, so that a lack of memory can
    // never leave it running unwatched.
    std::string command;
    std::string title;
    if (!WithMemory([&] {
            command = ComposeInstallerCommand(installDir, deviceKey);
            title = InstallerWindowTitle(installDir);
        }))
        EndWithoutList();

    platform().StartProgram(command.c_str(), kSwHide);
    platform().Sleep(kSettleMilliseconds);

    // No time-out: an installation takes as long as it takes.
    while (platform().TopLevelWindowExists(title.c_str())) platform().Sleep(kPollMilliseconds);
}

}  // namespace launcher
