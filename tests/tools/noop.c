/* Baseline for timing: a GUI program that does nothing, built like the
 * launcher, so a run of it measures Wine's own start and stop cost. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdline, int show)
{
    (void)instance;
    (void)previous;
    (void)cmdline;
    (void)show;
    return 0;
}
