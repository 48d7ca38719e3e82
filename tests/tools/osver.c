/* Writes what GetVersionExA reports, "platform major minor build", to the
 * file named by its only argument, so the harness can confirm the Windows
 * version it configured is the one a program sees. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdline, int show)
{
    (void)instance;
    (void)previous;
    (void)cmdline;
    (void)show;

    if (__argc != 2)
        return 2;
    OSVERSIONINFOA info = {0};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info))
        return 3;
    FILE *out = fopen(__argv[1], "w");
    if (!out)
        return 4;
    fprintf(out, "%lu %lu %lu %lu\n", info.dwPlatformId, info.dwMajorVersion,
            info.dwMinorVersion, info.dwBuildNumber);
    return fclose(out) == 0 ? 0 : 4;
}
