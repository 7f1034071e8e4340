#!/usr/bin/python3
"""Checks an updated PE image with readers that share no code with ours.

    check_image.py UPDATED MANIFEST [--original IMAGE] [--signed]

MANIFEST is JSON: {"blob": FILE, "resources": [{"type", "name", "lang",
"size", "offset"}, ...]} in tree order, where "type" and "name" are numbers
(IDs) or strings and each resource's bytes are at "offset" in FILE. The image must hold
exactly these resources according to pefile, llvm-readobj and wrestool;
pefile must parse it without warnings and agree with its checksum; it must
carry no certificate table; and its overlay (data after the last section)
must equal the overlay of IMAGE, which it was made from. Imports, base
relocations and the COFF symbol table must read the same as in IMAGE. With
--signed, IMAGE was signed: its overlay ends where its signature begins.
Exits 1 and prints every disagreement otherwise.
"""
import argparse
import json
import re
import subprocess
import sys

import pefile

problems = []


def expect(condition, message):
    if not condition:
        problems.append(message)


def pefile_view(path):
    pe = pefile.PE(path)
    expect(pe.get_warnings() == [], f"pefile warnings: {pe.get_warnings()}")
    expect(pe.OPTIONAL_HEADER.CheckSum == pe.generate_checksum(),
           f"checksum {pe.OPTIONAL_HEADER.CheckSum:#x}, pefile computes {pe.generate_checksum():#x}")
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    expect(security.VirtualAddress == 0 and security.Size == 0, "certificate table still present")
    found = []
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for type_entry in root.entries if root else []:
        for name_entry in type_entry.directory.entries:
            for lang_entry in name_entry.directory.entries:
                data = lang_entry.data.struct
                blob = pe.get_data(data.OffsetToData, data.Size)
                expect(len(blob) == data.Size, "resource data runs past the image")
                found.append({
                    "type": str(type_entry.name) if type_entry.name is not None else type_entry.id,
                    "name": str(name_entry.name) if name_entry.name is not None else name_entry.id,
                    "lang": lang_entry.id,
                    "size": data.Size,
                    "data": blob,
                })
    return pe, found


def readobj_view(path):
    text = subprocess.run(["llvm-readobj", "--coff-resources", path], check=True,
                          capture_output=True, text=True).stdout
    found, type_, name, lang = [], None, None, None

    def label(value):
        match = re.search(r"\(ID (\d+)\)", value)
        return int(match.group(1)) if match else value.strip()

    for line in text.splitlines():
        line = line.strip()
        if line.startswith("Type: "):
            type_ = label(line[6:].rstrip(" ["))
        elif line.startswith("Name: "):
            name = label(line[6:].rstrip(" ["))
        elif line.startswith("Language: "):
            lang = label(line[10:].rstrip(" ["))
        elif line.startswith("DataSize: "):
            found.append({"type": type_, "name": name, "lang": lang, "size": int(line[10:])})
    return found


def wrestool_view(path):
    text = subprocess.run(["wrestool", "-l", path], check=True, capture_output=True,
                          text=True).stdout
    found = []
    for line in text.splitlines():
        fields = dict(re.findall(r"--(\w+)=('[^']*'|\S+)", line))
        size = re.search(r"size=(\d+)", line)

        def value(key):
            raw = fields[key]
            return raw.strip("'") if raw.startswith("'") else int(raw)

        found.append({"type": value("type"), "name": value("name"), "lang": value("language"),
                      "size": int(size.group(1))})
    return found


def imports(pe):
    return [(entry.dll, [(i.name, i.ordinal) for i in entry.imports])
            for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]


def relocations(pe):
    return [(e.rva, e.type) for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", [])
            for e in block.entries]


def symbol_table(pe):
    start = pe.FILE_HEADER.PointerToSymbolTable
    if start == 0:
        return b""
    strings = start + 18 * pe.FILE_HEADER.NumberOfSymbols
    size = int.from_bytes(pe.__data__[strings:strings + 4], "little")
    return bytes(pe.__data__[start:strings + max(size, 4)])


def compare_unchanged(original, updated):
    expect(imports(updated) == imports(original), "imports differ from the original's")
    expect(relocations(updated) == relocations(original),
           "base relocations differ from the original's")
    expect(symbol_table(updated) == symbol_table(original),
           "COFF symbol table differs from the original's")


def compare(reader, found, manifest, keys):
    def shown(entry):
        return {k: (f"<{len(entry[k])} bytes>" if k == "data" else entry[k]) for k in keys}

    want = [{k: entry[k] for k in keys} for entry in manifest]
    got = [{k: entry[k] for k in keys} for entry in found]
    if got != want:
        wrong = [i for i, (g, w) in enumerate(zip(got, want)) if g != w]
        problems.append(f"{reader} lists {len(got)} resources, expected {len(want)}; "
                        f"first differences at {wrong[:5]}:\n  "
                        f"{[shown(found[i]) for i in wrong[:5]] or [shown(e) for e in found[:20]]}\nexpected\n  "
                        f"{[shown(manifest[i]) for i in wrong[:5]] or [shown(e) for e in manifest[:20]]}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("updated")
    parser.add_argument("manifest")
    parser.add_argument("--original")
    parser.add_argument("--signed", action="store_true")
    args = parser.parse_args()
    with open(args.manifest) as f:
        described = json.load(f)
    with open(described["blob"], "rb") as f:
        blob = f.read()
    manifest = described["resources"]
    for entry in manifest:
        entry["data"] = blob[entry["offset"]:entry["offset"] + entry["size"]]

    pe, found = pefile_view(args.updated)
    compare("pefile", found, manifest, ["type", "name", "lang", "size", "data"])
    compare("llvm-readobj", readobj_view(args.updated), manifest, ["type", "name", "lang", "size"])
    # wrestool prints a string name as its type's name; compare names only where they are IDs.
    numeric = [e for e in manifest if isinstance(e["name"], int)]
    compare("wrestool", [e for e in wrestool_view(args.updated) if isinstance(e["name"], int)],
            numeric, ["type", "name", "lang", "size"])

    if args.original:
        original = pefile.PE(args.original)
        compare_unchanged(original, pe)
        want = original.get_overlay() or b""
        if args.signed:
            security = original.OPTIONAL_HEADER.DATA_DIRECTORY[
                pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
            want = original.__data__[original.get_overlay_data_start_offset():security.VirtualAddress] \
                if original.get_overlay_data_start_offset() is not None else b""
        got = pe.get_overlay() or b""
        expect(got == bytes(want), f"overlay of {len(got)} bytes differs from the original's {len(want)}")

    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
