#!/usr/bin/env bash
# Builds the fixture images from the sources in DATA with MinGW, one per
# layout the resource update must handle, into OUT:
#   pe32_res / pe64_res          resources (icon, version, RCDATA), .rsrc followed by .reloc
#   pe32_plain / pe64_plain      no resources at all
#   pe32_rsrc_last               .rsrc is the last section (no relocations)
#   pe32_rsrc_then_data          .rsrc followed by .reloc and a non-discardable section
#   pe32_unstripped              debug sections and a COFF symbol table after .rsrc
#   pe32_overlay / pe64_overlay  data appended after the last section
#   pe32_signed                  Authenticode certificate table (throwaway certificate)
#   pe64_signed                  the same over pe64_overlay: overlay, padding, then the signature
set -euo pipefail
out=$1
data=$2
mkdir -p "$out"
cd "$out"

for arch in 32:i686 64:x86_64; do
  bits=${arch%%:*}
  tool=${arch#*:}-w64-mingw32
  "$tool-windres" -I"$data" "$data/resources.rc" -O coff -o "res$bits.o"
  "$tool-gcc" -O1 -s "$data/app.c" "res$bits.o" -o "pe${bits}_res.exe"
  "$tool-gcc" -O1 -s "$data/app.c" -o "pe${bits}_plain.exe"
  # An overlay as installers carry it: a marker and a block of varied bytes.
  cp "pe${bits}_res.exe" "pe${bits}_overlay.exe"
  { printf 'OVERLAY-START'; head -c 4099 "$data/app.c" | od -An -tx1 -v; printf 'OVERLAY-END'; } \
    >>"pe${bits}_overlay.exe"
done

i686-w64-mingw32-gcc -O1 -s "$data/app.c" res32.o -Wl,--disable-reloc-section -o pe32_rsrc_last.exe
i686-w64-mingw32-gcc -O1 -g "$data/app.c" res32.o -o pe32_unstripped.exe
# A writable data section placed after .reloc: nothing may move it.
head -c 5000 "$data/app.c" >extra.bin
i686-w64-mingw32-objcopy --add-section .extra=extra.bin \
  --set-section-flags .extra=contents,alloc,load,data \
  --change-section-address .extra=0x413000 pe32_res.exe pe32_rsrc_then_data.exe

if command -v osslsigncode >/dev/null && command -v openssl >/dev/null; then
  openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
    -subj "/CN=tamsel throwaway test certificate" 2>/dev/null
  rm -f pe32_signed.exe pe64_signed.exe
  osslsigncode sign -certs cert.pem -key key.pem -in pe32_res.exe -out pe32_signed.exe >/dev/null
  osslsigncode sign -certs cert.pem -key key.pem -in pe64_overlay.exe -out pe64_signed.exe >/dev/null
fi
rm -f res32.o res64.o extra.bin key.pem cert.pem
