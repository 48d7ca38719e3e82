// The application object of the installer tool. The process entry in the
// platform layer finds it and calls its StartUp once.
#include "installtool/InstallApp.h"

installtool::CInstallApp theApp(launcher::SystemPlatform(), launcher::SystemToolPlatform());
