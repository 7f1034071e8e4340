/* Drives tamsel.exe for the demo as an author would, through its real
 * windows: starts it from the program folder (the current folder), types a
 * new title into "Title for MsgBoxes", presses Save, answers Yes to "Saved",
 * shows the lines of the updater that tamsel.exe starts in a console of its
 * own, answers its final key prompt, and closes the editor.
 *   drive_tamsel.exe "New title"
 * Exit code 0 when every step happened, 1 otherwise (with the step said). */
#include <windows.h>

#include <tlhelp32.h>
#include <stdio.h>
#include <wchar.h>

static int fail(const char* what) {
    printf("drive_tamsel: %s\n", what);
    return 1;
}

/* Polls `find` every 100 ms for up to `seconds`. */
static void* waitFor(void* (*find)(void*), void* argument, int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
        void* found = find(argument);
        if (found)
            return found;
        Sleep(100);
    }
    return NULL;
}

static void* findMain(void* unused) {
    (void)unused;
    return FindWindowW(L"TamselWindow", L"Orvando installer info maker");
}

static void* findSaved(void* unused) {
    (void)unused;
    return FindWindowW(L"#32770", L"Saved");
}

static void* findUpdater(void* unused) {
    (void)unused;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry;
    ZeroMemory(&entry, sizeof entry);
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"updater.exe") == 0)
            found = entry.th32ProcessID;
    }
    CloseHandle(snapshot);
    return (void*)(ULONG_PTR)found;
}

/* The text box level with a label: each field's box stands beside its label. */
struct Beside {
    LONG top;
    HWND box;
};

static BOOL CALLBACK boxLevelWith(HWND child, LPARAM data) {
    struct Beside* beside = (struct Beside*)data;
    wchar_t kind[16];
    RECT at;
    GetClassNameW(child, kind, 16);
    GetWindowRect(child, &at);
    if (_wcsicmp(kind, L"Edit") == 0 && at.top - beside->top < 4 && beside->top - at.top < 4) {
        beside->box = child;
        return FALSE;
    }
    return TRUE;
}

/* The box beside the title's label, once it holds the loaded title. */
static void* findTitleBox(void* mainWindow) {
    HWND label = FindWindowExW((HWND)mainWindow, NULL, L"Static", L"Title for MsgBoxes :");
    struct Beside beside = {0, NULL};
    RECT at;
    if (!label || !GetWindowRect(label, &at))
        return NULL;
    beside.top = at.top;
    EnumChildWindows((HWND)mainWindow, boxLevelWith, (LPARAM)&beside);
    /* Asked by message: from another process GetWindowText sees only the
       text the box was made with. */
    return beside.box && SendMessageW(beside.box, WM_GETTEXTLENGTH, 0, 0) > 0 ? beside.box : NULL;
}

/* The updater's console as text, the lines up to its cursor. */
static int readConsole(wchar_t* text, int size) {
    HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    CONSOLE_SCREEN_BUFFER_INFO info;
    int length = 0;
    if (out != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(out, &info)) {
        for (SHORT row = 0; row <= info.dwCursorPosition.Y && length < size - 256; ++row) {
            DWORD read = 0;
            COORD start = {0, row};
            wchar_t line[256];
            const DWORD width = info.dwSize.X < 255 ? (DWORD)info.dwSize.X : 255;
            ReadConsoleOutputCharacterW(out, line, width, start, &read);
            while (read > 0 && line[read - 1] == L' ') --read;
            wmemcpy(text + length, line, read);
            length += (int)read;
            text[length++] = L'\n';
        }
    }
    text[length] = 0;
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    return length;
}

static void pressEnter(void) {
    HANDLE in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    INPUT_RECORD keys[2] = {{0}};
    for (int i = 0; i < 2; ++i) {
        keys[i].EventType = KEY_EVENT;
        keys[i].Event.KeyEvent.bKeyDown = i == 0;
        keys[i].Event.KeyEvent.wRepeatCount = 1;
        keys[i].Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
        keys[i].Event.KeyEvent.uChar.UnicodeChar = L'\r';
    }
    DWORD written = 0;
    WriteConsoleInputW(in, keys, 2, &written);
    CloseHandle(in);
}

int wmain(int argc, wchar_t** argv) {
    if (argc != 2)
        return fail("usage: drive_tamsel.exe \"New title\"");
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION editor;
    wchar_t commandLine[] = L"tamsel.exe";
    if (!CreateProcessW(L"tamsel.exe", commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                        &editor))
        return fail("cannot start tamsel.exe");
    HWND main = waitFor(findMain, NULL, 30);
    if (!main)
        return fail("tamsel.exe shows no window");
    printf("tamsel.exe: the main window is open\n");

    /* The window shows before every control is made and the file is loaded:
       wait for the title's box to hold the loaded title. */
    HWND box = waitFor(findTitleBox, main, 30);
    if (!box)
        return fail("no box holding a title beside \"Title for MsgBoxes :\"");
    SendMessageW(box, WM_SETTEXT, 0, (LPARAM)argv[1]);
    printf("tamsel.exe: typed a new title into \"Title for MsgBoxes :\"\n");

    /* Posted: Save waits in its message box until it is answered. */
    PostMessageW(FindWindowExW(main, NULL, L"Button", L"Save"), BM_CLICK, 0, 0);
    HWND saved = waitFor(findSaved, NULL, 30);
    if (!saved)
        return fail("no \"Saved\" message after Save");
    printf("tamsel.exe: pressed Save; the message \"Saved\" asks to update the installer: Yes\n");
    PostMessageW(saved, WM_COMMAND, IDYES, 0);

    DWORD updater = (DWORD)(ULONG_PTR)waitFor(findUpdater, NULL, 30);
    if (!updater)
        return fail("tamsel.exe started no updater.exe");
    printf("tamsel.exe: started updater.exe in a console of its own; its lines:\n");
    FreeConsole();
    BOOL attached = FALSE;
    for (int i = 0; i < 100 && !(attached = AttachConsole(updater)); ++i) Sleep(100);
    static wchar_t text[65536];
    int finished = 0;
    for (int i = 0; attached && i < 600 && !finished; ++i) {
        readConsole(text, 65536);
        finished = wcsstr(text, L"Installer updated!") || wcsstr(text, L"Couldn't open installer");
        if (!finished)
            Sleep(100);
    }
    if (!finished)
        return fail("could not read the updater's console to its end");
    char bytes[3 * 65536];
    WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, NULL, NULL);
    fputs(bytes, stdout);
    pressEnter();
    FreeConsole();
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, updater);
    const int ended = process && WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
    if (process)
        CloseHandle(process);
    if (!ended)
        return fail("updater.exe did not end after its key");
    printf("updater.exe: ended after its key\n");

    PostMessageW(main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(editor.hProcess, 10000) != WAIT_OBJECT_0)
        return fail("tamsel.exe did not end when its window was closed");
    printf("tamsel.exe: closed\n");
    CloseHandle(editor.hThread);
    CloseHandle(editor.hProcess);
    return 0;
}
