// The application object of the launcher executable. The process entry in the
// platform layer finds it and calls its StartUp once.
#include "app/LauncherApp.h"

launcher::CLauncherApp theApp(launcher::SystemPlatform());
