/* Imports InitCommonControls statically, as a GUI program linked against
 * comctl32 does, so a planted comctl32.dll beside it gets its chance to
 * load before WinMain runs. */
#include <windows.h>
#include <commctrl.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdline, int show)
{
    (void)instance;
    (void)previous;
    (void)cmdline;
    (void)show;
    InitCommonControls();
    return 0;
}
