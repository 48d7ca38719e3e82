#pragma once
// Whether the package holds every file the driver's install copies, checked
// before anything changes. A file the package lacks makes Windows ask for a
// "disk", which means nothing for a package on a stick (and makes Wine's
// install spin for ever), so the tool names it instead. The rules of what
// is copied and from where are payload/'s, which pkgcheck applies too.

#include <string_view>

#include "payload/Decoration.h"
#include "platform/ByteString.h"
#include "platform/Mbcs.h"
#include "platform/Platform.h"
#include "platform/ToolPlatform.h"

namespace installtool {

enum class PayloadResult { Complete, InfUnreadable, Incomplete, NoMemory };

class PayloadCheck {
public:
    PayloadCheck(launcher::ToolPlatform& tool, launcher::Platform& platform,
                 const launcher::CodePage& cp, const payload::OsVersion& os);

    // Checks the install sections the INF at `infPath` (a full path) has
    // for the device. `problems` says what is wrong, a line each.
    PayloadResult Check(const char* infPath, std::string_view hardwareId,
                        launcher::ByteString& problems);

private:
    // One INF's check, with the INF open for its whole length.
    class Inspection;

    launcher::ToolPlatform& tool_;
    launcher::Platform& platform_;
    launcher::CodePage cp_;
    payload::OsVersion os_;
};

}  // namespace installtool
