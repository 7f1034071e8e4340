/* The file named to run after the install, opened as a double click would. */
#include "open_after.h"

#include <shellapi.h>

#include "report.h"

/* ShellExecuteEx leaves a code of its own in hInstApp: the SE_ERR_* codes
 * from 26 up are no Win32 codes and are said as what they mean; those below
 * (2, 3, 5, 8, 11) mean what the Win32 code of that number means. The last
 * error is taken only where hInstApp says nothing of its own: the shell may
 * leave the error of an attempt it made on the way. */
static void describeOpenFailure(DWORD error, INT_PTR shellCode, const WCHAR* path, Text* why) {
    switch (shellCode) {
        case SE_ERR_NOASSOC:
        case SE_ERR_ASSOCINCOMPLETE:
            textAppend(why, L"no program is set to open it");
            return;
        case SE_ERR_DDETIMEOUT:
        case SE_ERR_DDEFAIL:
        case SE_ERR_DDEBUSY:
            textAppend(why, L"the program that opens it did not answer");
            return;
        case SE_ERR_SHARE: error = ERROR_SHARING_VIOLATION; break;
        case SE_ERR_DLLNOTFOUND: error = ERROR_DLL_NOT_FOUND; break;
        default:
            if (shellCode > 0 && shellCode < 32) error = (DWORD)shellCode;
            break;
    }
    if (error == ERROR_NO_ASSOCIATION)
        textAppend(why, L"no program is set to open it");
    else if (error != ERROR_SUCCESS)
        textAppendSystemError(why, error, path);
    else
        textAppend(why, L"the shell gave no reason");
}

/* Opens the file named to run after the install, as a double click would.
 * The install stands whatever happens here; a failure is told in the last
 * message. */
void openAfterInstall(InstallerUi* ui, const WCHAR* path, const WCHAR* folder, int silent,
                      Text* news) {
    SHELLEXECUTEINFOW info;
    Text why = {0};
    /* A silent run opens no window, the file's program's neither. */
    if (silent) {
        tellAction(ui, L"not opened (silent): %ls", path);
        return;
    }
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    /* NOASYNC: the program ends soon after, which must not cut the start
     * short. FLAG_NO_UI: a failure is said in the last message, once. */
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = path;
    info.lpDirectory = folder;
    info.nShow = SW_SHOWNORMAL;
    SetLastError(ERROR_SUCCESS);
    if (ShellExecuteExW(&info)) {
        tellAction(ui, L"opened: %ls", path);
        return;
    }
    describeOpenFailure(GetLastError(), (INT_PTR)info.hInstApp, path, &why);
    tellAction(ui, L"could not open: %ls: %ls", path, textChars(&why));
    textFormat(news, L"\r\nCould not open %ls: %ls.", path, textChars(&why));
    textFree(&why);
}
