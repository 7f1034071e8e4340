/* The resources the updater writes into installer.exe and the installer reads
 * back, RT_RCDATA and language neutral. Texts are NUL-terminated strings
 * in the ANSI code page. Plain C, so that the installer (C, MinGW) and the
 * updater (C++) share one copy. */
#ifndef TAMSEL_COMMON_INSTALLER_RESOURCES_H
#define TAMSEL_COMMON_INSTALLER_RESOURCES_H

#ifdef __cplusplus
namespace install_info {
#endif

enum InstallerResourceId {
    kIdName = 101,
    kIdFilename = 102,      /* the plugin file's name */
    kIdLocationTable = 103, /* the extra files' names, each with its NUL, then a NUL */
    kIdRunAfterInstall = 104,
    kIdVBName = 105, /* the plugin's ProgID */
    kIdPlugin = 106, /* the plugin file's bytes */
    kIdWarning = 107,
    kIdTitle = 108,
    /* Extra file k (counting from 1) is kIdExtraFileBase + k; the icon group
     * follows the last of them. */
    kIdExtraFileBase = 108
};

/* The uninstaller the install leaves as uninstall.exe: this program as the
 * updater made it, without the plugin's and the extra files' bytes and with
 * the mark below, RT_RCDATA under a name, never an ID, so that it cannot
 * meet a numbered extra file. The installer writes its bytes out as they are. */
#define TAMSEL_UNINSTALLER_RESOURCE "UNINSTALLER"
/* What makes a copy the uninstaller: an RT_RCDATA resource of this name. */
#define TAMSEL_UNINSTALLER_MARK "TAMSEL_UNINSTALLER"

/* The program's manifest (common/installer.manifest), RT_MANIFEST 1,
 * language neutral: requireAdministrator, Common Controls 6, DPI awareness,
 * Windows 7 to 11. The prepared installer carries it from the start; the
 * updater writes it back with the resources above. */
enum InstallerManifestResource { kTypeManifest = 24, kIdManifest = 1 };

/* What the installer shows for a text the install info left out. */
#define TAMSEL_DEFAULT_NAME "Nameles plugin"
#define TAMSEL_DEFAULT_TITLE "Plugin installer"

#ifdef __cplusplus
}  // namespace install_info
#endif

#endif
