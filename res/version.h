#pragma once
// One version for the code and the executable's version record.
#define LAUNCHER_VERSION_MAJOR 1
#define LAUNCHER_VERSION_MINOR 0
#define LAUNCHER_VERSION_PATCH 0
#define LAUNCHER_VERSION_BUILD 1
#define LAUNCHER_VERSION_TEXT "1.0.0.1"
