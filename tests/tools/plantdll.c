/* A stand-in system DLL (comctl32.dll, setupapi.dll, newdev.dll) for
 * search-order tests: if a program picks up a copy dropped beside it
 * instead of the system one, this leaves a mark. */
#include <windows.h>

/* Takes no arguments, so cdecl and stdcall agree and the .def file can use
 * the bare name on both architectures. */
void InitCommonControls(void);

void InitCommonControls(void)
{
}

static void leave_mark(HINSTANCE self)
{
    static const char text[] = "planted DLL loaded\r\n";
    char path[MAX_PATH + 16];
    DWORD n = GetEnvironmentVariableA("PLANT_MARK", path, MAX_PATH);

    if (n == 0 || n >= MAX_PATH) {
        n = GetModuleFileNameA(self, path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            return;
        char *slash = strrchr(path, '\\');
        strcpy(slash ? slash + 1 : path, "planted.mark");
    }

    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, text, sizeof text - 1, &written, NULL);
    CloseHandle(file);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        leave_mark(instance);
    return TRUE;
}
