#include "install/Installer.h"

#include "app/LauncherApp.h"
#include "platform/PackageFiles.h"

namespace launcher {

bool ComposeInstallerCommand(ByteString& command, std::string_view installDir,
                             std::string_view deviceKey) {
    // Unquoted, a path with a blank would let Windows try C:\Program.exe and
    // would split the setup-information path into several arguments. Tools
    // that parse the line rely on the unquoted form, so it stays otherwise.
    const std::string_view q = installDir.find(' ') != std::string_view::npos ? "\"" : "";
    command.Assign(q);
    command.Append(installDir);
    command.Append(package::kToolFile);
    command.Append(q);
    command.Append(" ");
    command.Append(q);
    command.Append(installDir);
    command.Append(package::kInfPath);
    command.Append(q);
    command.Append(" \"PCI\\");
    return command.Append(deviceKey);
}

bool InstallerWindowTitle(ByteString& title, std::string_view installDir) {
    return title.Assign(installDir) && title.Append(package::kToolWindowFile);
}

void CLauncherApp::RunInstaller() {
    deviceKey.Clear();
    if (!FindSupportedDevice()) {
        platform().ShowMessageBox(kUnsupportedText, kUnsupportedCaption, kMbOk);
        EndNow();
    }
    // Both strings exist before the tool starts, so that a lack of memory can
    // never leave it running unwatched.
    ByteString command(platform());
    ByteString title(platform());
    if (!ComposeInstallerCommand(command, installDir.view(), deviceKey.view()) ||
        !InstallerWindowTitle(title, installDir.view()))
        EndWithoutList();

    platform().RestoreStartErrorMode();
    platform().StartProgram(command.c_str(), kSwHide);
    platform().Sleep(kSettleMilliseconds);

    // No time-out: an installation takes as long as it takes.
    while (platform().TopLevelWindowExists(title.c_str())) platform().Sleep(kPollMilliseconds);
}

}  // namespace launcher
