#!/usr/bin/python3
"""Prints what pefile reads of a PE file's version resource (its first name),
one line each, in UTF-8 whatever the locale:
  file A.B.C.D / product A.B.C.D     the fixed file info's numbers
  table KEY                          each string table, then its strings
  KEY=VALUE
  Translation 0xLANG 0xCODEPAGE      VarFileInfo's Translation
  warning TEXT                       each of pefile's warnings
Exit code 77 when pefile is missing."""
import sys

try:
    import pefile
except ImportError:
    sys.exit(77)


def numbers(ms, ls):
    return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"


pe = pefile.PE(sys.argv[1])
lines = []
for fixed in getattr(pe, "VS_FIXEDFILEINFO", []):
    lines.append(f"file {numbers(fixed.FileVersionMS, fixed.FileVersionLS)}")
    lines.append(f"product {numbers(fixed.ProductVersionMS, fixed.ProductVersionLS)}")
for info in getattr(pe, "FileInfo", []):
    for block in info:
        for table in getattr(block, "StringTable", []):
            lines.append(f"table {table.LangID.decode()}")
            for key, value in table.entries.items():
                lines.append(f"{key.decode()}={value.decode()}")
        for var in getattr(block, "Var", []):
            for key, value in var.entry.items():
                lines.append(f"{key.decode()} {value}")
lines += [f"warning {w}" for w in pe.get_warnings()]
sys.stdout.buffer.write("".join(line + "\n" for line in lines).encode())
