/* Stand-in for the package's install.exe.  It records how it was started and
 * then behaves like the real tool as far as its starter can see: a top-level
 * window titled with its own full path that lives for a set time.
 *
 * Each start appends two JSON lines to the log (FAKEINSTALL_LOG, else
 * fakeinstall.log beside the exe):
 *   {"event":"start","pid":N,"unix_ms":N,"tick":N,"cmdline":"...",
 *    "argv":["...",...],"module":"...","cwd":"...","show_window":N,
 *    "startup_flags":N,"cmd_show":N,"lifetime_ms":N}
 *   {"event":"end","pid":N,"unix_ms":N,"tick":N}
 * Strings are UTF-8.  Appending rather than overwriting lets a reader see
 * a second start, which a correct starter never causes. */
#include <windows.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

#define TIMER_ID 1

struct text {
    char *data;
    size_t len, cap;
};

static void put(struct text *t, const char *s, size_t n)
{
    if (t->len + n + 1 > t->cap) {
        size_t cap = t->cap ? t->cap : 1024;
        while (t->len + n + 1 > cap)
            cap *= 2;
        char *grown = realloc(t->data, cap);
        if (!grown)
            ExitProcess(3);
        t->data = grown;
        t->cap = cap;
    }
    memcpy(t->data + t->len, s, n);
    t->len += n;
    t->data[t->len] = '\0';
}

static void put_str(struct text *t, const char *s)
{
    put(t, s, strlen(s));
}

static void put_u64(struct text *t, unsigned long long v)
{
    char digits[24];
    int i = (int)sizeof digits;
    do {
        digits[--i] = (char)('0' + v % 10);
        v /= 10;
    } while (v);
    put(t, digits + i, sizeof digits - (size_t)i);
}

static void put_json_utf8(struct text *t, const char *s)
{
    static const char hex[] = "0123456789abcdef";
    put_str(t, "\"");
    for (; *s; s++) {
        unsigned char c = (unsigned char)*s;
        if (c == '"' || c == '\\') {
            char esc[2] = {'\\', (char)c};
            put(t, esc, 2);
        } else if (c < 0x20) {
            char esc[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
            put(t, esc, 6);
        } else {
            put(t, (const char *)&c, 1);
        }
    }
    put_str(t, "\"");
}

static void put_json_wide(struct text *t, const WCHAR *w)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, NULL, 0, NULL, NULL);
    char *utf8 = n > 0 ? malloc((size_t)n) : NULL;
    if (!utf8 || !WideCharToMultiByte(CP_UTF8, 0, w, -1, utf8, n, NULL, NULL)) {
        put_json_utf8(t, "?");
    } else {
        put_json_utf8(t, utf8);
    }
    free(utf8);
}

/* The ANSI command line is what a WinExec caller controls byte for byte;
 * it goes through UTF-16 only to reach UTF-8 for the log. */
static void put_json_ansi(struct text *t, const char *s)
{
    int n = MultiByteToWideChar(CP_ACP, 0, s, -1, NULL, 0);
    WCHAR *w = n > 0 ? malloc((size_t)n * sizeof(WCHAR)) : NULL;
    if (!w || !MultiByteToWideChar(CP_ACP, 0, s, -1, w, n))
        put_json_utf8(t, "?");
    else
        put_json_wide(t, w);
    free(w);
}

static unsigned long long filetime_ms(FILETIME ft)
{
    ULARGE_INTEGER u;
    u.LowPart = ft.dwLowDateTime;
    u.HighPart = ft.dwHighDateTime;
    return u.QuadPart / 10000;
}

/* Milliseconds between 1601 and 1970, to log the host's own clock. */
#define EPOCH_1970_MS 11644473600000ULL

static unsigned long long now_ms(void)
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return filetime_ms(ft);
}

static void log_path(char *path, size_t size)
{
    DWORD n = GetEnvironmentVariableA("FAKEINSTALL_LOG", path, (DWORD)size);
    if (n > 0 && n < size)
        return;
    n = GetModuleFileNameA(NULL, path, (DWORD)size - 16);
    char *slash = n ? strrchr(path, '\\') : NULL;
    strcpy(slash ? slash + 1 : path, "fakeinstall.log");
}

static void append_log(const struct text *t)
{
    char path[MAX_PATH + 16];
    log_path(path, sizeof path);
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, t->data, (DWORD)t->len, &written, NULL);
    CloseHandle(file);
}

static double lifetime_seconds(void)
{
    char value[64];
    DWORD n = GetEnvironmentVariableA("FAKEINSTALL_SECONDS", value, sizeof value);
    if (n == 0 || n >= sizeof value)
        return 5.0;
    char *end;
    double s = strtod(value, &end);
    return (end != value && s >= 0.0) ? s : 5.0;
}

static void put_record_head(struct text *t, const char *event)
{
    put_str(t, "{\"event\":\"");
    put_str(t, event);
    put_str(t, "\",\"pid\":");
    put_u64(t, GetCurrentProcessId());
    put_str(t, ",\"unix_ms\":");
    put_u64(t, now_ms() - EPOCH_1970_MS);
    put_str(t, ",\"tick\":");
    put_u64(t, GetTickCount());
}

static void log_start(const char *module, int cmd_show, double seconds)
{
    struct text t = {0};
    STARTUPINFOA si;
    GetStartupInfoA(&si);

    put_record_head(&t, "start");
    put_str(&t, ",\"cmdline\":");
    put_json_ansi(&t, GetCommandLineA());

    put_str(&t, ",\"argv\":[");
    int argc = 0;
    LPWSTR *argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 0; argv && i < argc; i++) {
        if (i)
            put_str(&t, ",");
        put_json_wide(&t, argv[i]);
    }
    LocalFree(argv);
    put_str(&t, "],\"module\":");
    put_json_ansi(&t, module);

    char cwd[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof cwd, cwd);
    put_str(&t, ",\"cwd\":");
    put_json_ansi(&t, (n && n < sizeof cwd) ? cwd : "");

    put_str(&t, ",\"show_window\":");
    put_u64(&t, si.wShowWindow);
    put_str(&t, ",\"startup_flags\":");
    put_u64(&t, si.dwFlags);
    put_str(&t, ",\"cmd_show\":");
    put_u64(&t, (unsigned)cmd_show);
    put_str(&t, ",\"lifetime_ms\":");
    put_u64(&t, (unsigned long long)(seconds * 1000.0));
    put_str(&t, "}\r\n");
    append_log(&t);
    free(t.data);
}

static void log_end(void)
{
    struct text t = {0};
    put_record_head(&t, "end");
    put_str(&t, "}\r\n");
    append_log(&t);
    free(t.data);
}

/* The lifetime counts from process creation, so a slow start under
 * emulation does not stretch how long the starter has to wait. */
static UINT remaining_ms(double seconds)
{
    FILETIME created, exited, kernel, user;
    unsigned long long elapsed = 0;
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        unsigned long long start = filetime_ms(created), now = now_ms();
        elapsed = now > start ? now - start : 0;
    }
    unsigned long long total = (unsigned long long)(seconds * 1000.0);
    return total > elapsed ? (UINT)(total - elapsed) : USER_TIMER_MINIMUM;
}

static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_TIMER:
        if (wp == TIMER_ID) {
            KillTimer(hwnd, TIMER_ID);
            DestroyWindow(hwnd);
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdline, int cmd_show)
{
    (void)previous;
    (void)cmdline;

    char module[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, module, sizeof module);
    if (n == 0 || n >= sizeof module)
        return 2;

    double seconds = lifetime_seconds();
    log_start(module, cmd_show, seconds);

    WNDCLASSA wc = {0};
    wc.lpfnWndProc = window_proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = "FakeInstallWindow";
    if (!RegisterClassA(&wc))
        return 2;

    HWND hwnd = CreateWindowA(wc.lpszClassName, module, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 420, 120, NULL, NULL, instance, NULL);
    if (!hwnd)
        return 2;
    ShowWindow(hwnd, cmd_show);
    SetTimer(hwnd, TIMER_ID, remaining_ms(seconds), NULL);

    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    log_end();
    return 0;
}
