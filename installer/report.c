#include "report.h"

#include <stdarg.h>

void tellAction(InstallerUi* ui, const WCHAR* format, ...) {
    Text line = {0};
    va_list arguments;
    va_start(arguments, format);
    textFormatList(&line, format, arguments);
    va_end(arguments);
    ui->action(ui, textChars(&line));
    textFree(&line);
}

int reportFailure(Report* report, const WCHAR* format, ...) {
    if (report->failure.length == 0) {
        va_list arguments;
        va_start(arguments, format);
        textFormatList(&report->failure, format, arguments);
        va_end(arguments);
    }
    return 0;
}

static void appendWithError(Text* text, DWORD code, const WCHAR* subject, const WCHAR* format,
                            va_list arguments) {
    textFormatList(text, format, arguments);
    textAppendSystemError(text, code, subject);
    textAppend(text, L".");
}

int reportFailureWith(Report* report, DWORD code, const WCHAR* subject, const WCHAR* format,
                      ...) {
    if (report->failure.length == 0) {
        va_list arguments;
        va_start(arguments, format);
        appendWithError(&report->failure, code, subject, format, arguments);
        va_end(arguments);
    }
    return 0;
}

int reportOutOfMemory(Report* report) { return reportFailure(report, L"Out of memory."); }

void reportUndoFailure(Report* report, DWORD code, const WCHAR* subject, const WCHAR* format,
                       ...) {
    va_list arguments;
    va_start(arguments, format);
    appendWithError(&report->failure, code, subject, format, arguments);
    va_end(arguments);
}
