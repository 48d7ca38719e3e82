/* Shows one message box per CAPTION TEXT pair on its command line, in
 * order, so the harness can check what it reads back from boxes against
 * known input.  A two-character "\n" in TEXT becomes a line feed.  Exit
 * status: how many boxes returned IDOK. */
#include <windows.h>
#include <stdlib.h>
#include <string.h>

static void expand_newlines(char *s)
{
    char *out = s;
    for (; *s; s++) {
        if (s[0] == '\\' && s[1] == 'n') {
            *out++ = '\n';
            s++;
        } else {
            *out++ = *s;
        }
    }
    *out = '\0';
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdline, int show)
{
    (void)instance;
    (void)previous;
    (void)cmdline;
    (void)show;

    int ok = 0;
    for (int i = 1; i + 1 < __argc; i += 2) {
        char *text = __argv[i + 1];
        expand_newlines(text);
        if (MessageBoxA(NULL, text, __argv[i], MB_OK) == IDOK)
            ok++;
    }
    return ok;
}
