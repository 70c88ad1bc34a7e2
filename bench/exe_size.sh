#!/usr/bin/env bash
# Size of the shipped quenvix.exe (stripped) and what it is made of: the program is linked once
# more with a linker map, and the bytes each object file (or library member) puts into the file
# are added up (code, constants, unwind tables, data; not the zero-filled part, not debug
# information). Usage: bench/exe_size.sh [TOP]   (default 10; builds the win64 preset's program)
set -uo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
cd "$QUENVIX_ROOT"
TOP=${1:-10}
BUILD=build/win64
cmake --build --preset win64 --target quenvix >/dev/null || exit 1
echo "quenvix.exe: $(stat -c %s "$BUILD/quenvix.exe") bytes (stripped)"

# The program's own link command, with a map and to a file of our own (-s dropped: the map is the
# same either way, and the unstripped file names the symbols for nm).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
link=$(grep -- ' -o quenvix.exe' "$BUILD/CMakeFiles/quenvix.dir/link.txt")
link=${link/ -o quenvix.exe/ -o $work/quenvix.exe -Wl,-Map,$work/quenvix.map}
link=${link/ -s / }
link=${link/ -Wl,--out-implib,libquenvix.dll.a/}
(cd "$BUILD" && eval "$link") || { echo "link with a map failed"; exit 1; }

python3 - "$work/quenvix.map" "$TOP" <<'PY'
import collections, re, sys
text = open(sys.argv[1]).read()
text = text[text.find("Linker script and memory map"):]  # what was kept, not what was dropped
sizes = collections.Counter()
lines = text.split("\n")
whole = re.compile(r"^ (\.\S+)\s+0x[0-9a-f]+\s+(0x[0-9a-f]+)\s+(\S.*)$")
name_only = re.compile(r"^ (\.\S+)$")
rest = re.compile(r"^\s+0x[0-9a-f]+\s+(0x[0-9a-f]+)\s+(\S.*)$")
i = 0
while i < len(lines):
    m = whole.match(lines[i])
    if m:
        section, size, source = m.groups()
    elif name_only.match(lines[i]) and i + 1 < len(lines) and rest.match(lines[i + 1]):
        section = lines[i].strip()
        size, source = rest.match(lines[i + 1]).groups()
        i += 1
    else:
        i += 1
        continue
    i += 1
    if section.startswith((".debug", ".bss")):
        continue
    member = re.match(r"(.*\.a)\((.*)\)$", source)
    key = f"{member.group(1).split('/')[-1]}({member.group(2)})" if member else source.split("/")[-1]
    sizes[key] += int(size, 16)
print(f"top {sys.argv[2]} contributors (bytes in the file, by object file):")
for key, size in sizes.most_common(int(sys.argv[2])):
    print(f"  {size:8d}  {key}")
PY
echo "largest functions:"
x86_64-w64-mingw32-nm --size-sort -C -S "$work/quenvix.exe" | awk '$3 ~ /^[TtWw]$/' | tail -n 5 |
    while read -r _ size _ name; do printf '  %8d  %s\n' "$((16#$size))" "$name"; done
