/* The previous release in the install folder, unregistered and registered
 * again. */
#include "previous.h"

#include <stdlib.h>
#include <wchar.h>

#include "entry.h"
#include "files.h"
#include "record.h"
#include "report.h"

void unregisterPreviousRelease(PreviousRelease* previous, const Contract* contract,
                               const WCHAR* recordPath, InstallerUi* ui) {
    UninstallRecord record;
    WCHAR* key;
    Text why = {0};
    if (contract->progId[0] == 0) return;
    key = uninstallKey(contract);
    if (readRecord(recordPath, &record) && key != NULL && record.key != NULL &&
        record.server != NULL && wcscmp(record.key, key) == 0 &&
        pathAttributes(record.server) != INVALID_FILE_ATTRIBUTES) {
        Registrar registrar = registrarOfRecord(record.registrar);
        Registration undo = runRegistration(&registrar, record.server, 1);
        if (registrationSucceeded(&registrar, undo, record.server, &why)) {
            tellAction(ui, L"unregistered the previous release: %ls", record.server);
            previous->server = record.server;
            record.server = NULL;
            previous->registrar = registrar;
        } else {
            tellAction(ui, L"could not unregister the previous release: %ls: %ls",
                       record.server, textChars(&why));
            freeRegistrar(&registrar);
        }
    }
    freeRecord(&record); /* a record read in part too */
    textFree(&why);
    free(key);
}

void registerPreviousAgain(PreviousRelease* previous, const Contract* contract, InstallerUi* ui,
                           Text* failure) {
    const WCHAR* path = previous->server;
    Registration again;
    Text why = {0};
    if (path == NULL) return;
    again = runRegistration(&previous->registrar, path, 0);
    if (registrationSucceeded(&previous->registrar, again, path, &why))
        tellAction(ui, L"registered again: %ls (%ls)", path, contract->progId);
    else
        textFormat(failure, L"\r\nCould not register the previous release %ls again: %ls.", path,
                   textChars(&why));
    textFree(&why);
}

void freePreviousRelease(PreviousRelease* previous) {
    freeRegistrar(&previous->registrar);
    free(previous->server);
    previous->server = NULL;
}
