#!/usr/bin/python3
"""Says what each resource the updater wrote into an installer holds.

  explain_resources.py INSTALLER [ANSI_CODE_PAGE]     (default cp1252)

One line per resource, read with pefile (not with our own reader): the
texts 101 to 108 with their values, the plugin file 106 and the extra files
from 109 by their names from the location table 103, the icon group and its
images, and the version resource with its strings. Texts are ANSI bytes;
they are shown decoded with ANSI_CODE_PAGE.
"""
import struct
import sys

import pefile

RT_ICON, RT_RCDATA, RT_GROUP_ICON, RT_VERSION = 3, 10, 14, 16
DEFAULTS = {101: "Nameles plugin", 108: "Plugin installer"}  # what the installer reads then
TEXTS = {101: "Name", 102: "plugin file name", 104: "file to open after installing",
         105: "ProgID to register", 107: "warning", 108: "title"}


# What the installer's uninstall entry takes from its version resource.
ENTRY_VALUES = {"FileVersion": "DisplayVersion", "CompanyName": "Publisher"}


def resources(path):
    """(type, id, language) -> bytes, for every resource with numeric names,
    and the image, with pefile's reading of its version resource."""
    image = pefile.PE(path, fast_load=True)
    image.parse_data_directories(
        directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    found = {}
    root = getattr(image, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in root.entries if root is not None else []:
        for name in kind.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                found[(kind.id, name.id, language.id)] = image.get_data(data.OffsetToData,
                                                                        data.Size)
    return found, image


def show_version(image, found):
    """The version resource: its numbers and its first string table."""
    ids = [rid for (kind, rid, _) in found if kind == RT_VERSION]  # in tree order
    fixed = getattr(image, "VS_FIXEDFILEINFO", [])
    if not ids or not fixed:
        print("  no version resource: the uninstall entry shows no version or publisher")
        return

    def numbers(ms, ls):
        return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"

    print(f"  {ids[0]} version resource: file version "
          f"{numbers(fixed[0].FileVersionMS, fixed[0].FileVersionLS)}, product version "
          f"{numbers(fixed[0].ProductVersionMS, fixed[0].ProductVersionLS)}")
    tables = [table for info in getattr(image, "FileInfo", []) for block in info
              for table in getattr(block, "StringTable", [])]
    strings = {k.decode(): v.decode("utf-8", "replace") for k, v in tables[0].entries.items()} \
        if tables else {}
    for key, value in strings.items():
        shown = f" (the uninstall entry's {ENTRY_VALUES[key]})" if key in ENTRY_VALUES else ""
        print(f'    {key}: "{value}"{shown}')
    for key, entry_value in ENTRY_VALUES.items():
        if not strings.get(key):
            print(f"    no {key}: the uninstall entry has no {entry_value}")


def text(data, code_page):
    return '"' + data.split(b"\0", 1)[0].decode(code_page, "replace") + '"'


def main():
    path = sys.argv[1]
    code_page = sys.argv[2] if len(sys.argv) > 2 else "cp1252"
    found, image = resources(path)
    rcdata = {rid: data for (kind, rid, _), data in found.items() if kind == RT_RCDATA}
    languages = {lang for (_, _, lang) in found}
    print(f"{path}: {len(found)} resources, language "
          f"{', '.join(str(l) for l in sorted(languages)) or '-'} (0 is neutral)")

    table = rcdata.get(103, b"")
    names = [n.decode(code_page, "replace") for n in table.split(b"\0\0", 1)[0].split(b"\0") if n]
    plugin_name = rcdata.get(102, b"\0").split(b"\0", 1)[0].decode(code_page, "replace")
    for rid in range(101, 109):
        if rid == 103:
            listed = ", ".join(f'"{n}"' for n in names) or "none"
            size = f"{len(table)} bytes" if rid in rcdata else "missing"
            print(f"  {rid} location table: {size}, {len(names)} extra file name(s): {listed}")
        elif rid == 106:
            if rid in rcdata:
                print(f"  {rid} plugin file: {plugin_name}, {len(rcdata[rid])} bytes")
            else:
                print(f"  {rid} plugin file: missing (the updater could not read "
                      f"\"{plugin_name}\")")
        elif rid in rcdata:
            print(f"  {rid} {TEXTS[rid]}: {text(rcdata[rid], code_page)}")
        else:
            print(f"  {rid} {TEXTS[rid]}: missing, read as \"{DEFAULTS.get(rid, '')}\"")
    for k, name in enumerate(names, 1):
        rid = 108 + k
        if rid in rcdata:
            print(f"  {rid} extra file {k}: {name}, {len(rcdata[rid])} bytes")
        else:
            print(f"  {rid} extra file {k}: {name}, missing (the updater could not read it)")

    groups = {rid: data for (kind, rid, _), data in found.items() if kind == RT_GROUP_ICON}
    icons = {rid: data for (kind, rid, _), data in found.items() if kind == RT_ICON}
    if not groups:
        print("  no icon group: the installer shows no icon of its own")
    for gid, group in sorted(groups.items()):
        count = struct.unpack_from("<H", group, 4)[0]
        print(f"  {gid} icon group: {count} image(s), the installer's own icon in Explorer")
        for i in range(count):
            if 6 + 14 * (i + 1) > len(group):
                break
            width, height, _, _, _, bits, size, iid = struct.unpack_from("<BBBBHHIH", group,
                                                                        6 + 14 * i)
            state = f"{len(icons[iid])} bytes" if iid in icons else "missing"
            print(f"    {iid} icon image: {width or 256}x{height or 256}, {bits} bits, {state}")
    show_version(image, found)
    known = set(range(101, 109 + len(names))) | set(groups) | set(icons)
    for (kind, rid, _), data in sorted(found.items()):
        if rid not in known and kind != RT_VERSION:
            print(f"  {rid} (type {kind}): {len(data)} bytes, not one the installer reads")


if __name__ == "__main__":
    main()
