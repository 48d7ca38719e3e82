#pragma once
// Whether the package holds every file the driver's install copies, checked
// before anything changes. A file the package lacks makes Windows ask for a
// "disk", which means nothing for a package on a stick (and makes Wine's
// install spin for ever), so the tool names it instead.

#include <string_view>

#include "installtool/Decoration.h"
#include "platform/ByteString.h"
#include "platform/Mbcs.h"
#include "platform/Platform.h"
#include "platform/ToolPlatform.h"

namespace installtool {

// Whether a model's hardware or compatible ID names the device with this
// hardware ID, as Windows matches them: PCI\VEN&DEV&SUBSYS&REV also goes by
// PCI\VEN&DEV&SUBSYS, PCI\VEN&DEV&REV and PCI\VEN&DEV. Letter case aside.
bool NamesDevice(std::string_view modelId, std::string_view hardwareId);

enum class PayloadResult { Complete, InfUnreadable, Incomplete, NoMemory };

class PayloadCheck {
public:
    PayloadCheck(launcher::ToolPlatform& tool, launcher::Platform& platform,
                 const launcher::CodePage& cp, const OsVersion& os);

    // Checks the install sections the INF at `infPath` (a full path) has
    // for the device. `problems` says what is wrong, a line each.
    PayloadResult Check(const char* infPath, std::string_view hardwareId,
                        launcher::ByteString& problems);

private:
    class Run;

    launcher::ToolPlatform& tool_;
    launcher::Platform& platform_;
    launcher::CodePage cp_;
    OsVersion os_;
};

}  // namespace installtool
