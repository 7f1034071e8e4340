#!/usr/bin/python3
"""Lists a PE file's resources with pefile, one line each:
type name language size sha256. Exit code 77 when pefile is missing."""
import hashlib
import sys

try:
    import pefile
except ImportError:
    sys.exit(77)


def key(entry):
    return str(entry.id) if entry.name is None else str(entry.name)


pe = pefile.PE(sys.argv[1])
data = pe.__data__
root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
for t in root.entries if root else []:
    for n in t.directory.entries:
        for lang in n.directory.entries:
            rva, size = lang.data.struct.OffsetToData, lang.data.struct.Size
            blob = pe.get_data(rva, size)
            print(key(t), key(n), lang.id, size, hashlib.sha256(blob).hexdigest())
