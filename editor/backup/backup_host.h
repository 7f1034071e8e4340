// What the backup window needs of the main window. The main window implements
// it; tests may script it.
#pragma once

#include <QString>

#include "editor/ini/install_record.h"

namespace editor_backup {

class BackupHost {
public:
    virtual ~BackupHost() = default;
    // The text of the name box, the default answer of the name prompt.
    virtual QString backupDefaultName() const = 0;
    // The fields and extra files as the main window shows them now.
    virtual editor_ini::InstallRecord currentRecord() const = 0;
    // Selects entry `index` of the main window's extra-file list.
    virtual void selectExtraEntry(int index) = 0;
    // Sets the hidden Label1's caption and runs Command1_Click, which loads that
    // file. Returns false when the file could not be loaded (the main window
    // has then shown its own message and kept its fields).
    virtual bool loadFromPath(const QString& path) = 0;
    // Shows the main window again if it was closed, and raises it.
    virtual void showMainWindow() = 0;
};

}  // namespace editor_backup
