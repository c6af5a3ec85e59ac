#!/usr/bin/env bash
# Lays out the bulk of the sample application tree in OUT (replaced if present): a few hundred
# files in folders three levels deep, names with blanks, an empty folder, a folder named
# "logs.log" that is walked, files the builder must skip (x.tds, setup.LOG, a.log) and one
# file above 8 MiB. Same bytes on every run. Emberlin.exe and inkscape\inkscape.exe are built
# from the sources beside this script and copied in by the build.
#   generate.sh OUT
set -euo pipefail
out=$1
rm -rf "$out"
mkdir -p "$out"
cd "$out"

text() {  # text FILE LINES: numbered lines that say what the file is
    local file=$1 lines=$2
    mkdir -p "$(dirname "$file")"
    { for i in $(seq "$lines"); do printf '%s line %d of the Mini Tarvik sample\r\n' "$file" "$i"; done; } > "$file"
}

text "readme.txt" 40
text "Emberlin.ini" 12
text "license.txt" 80

for material in "wood 3mm" "wood 5mm" "acrylic 3mm" "acrylic 5mm" "leather" "cardboard" "cork" "felt" \
                "paper 120g" "rubber stamp" "anodized aluminium" "slate"; do
    text "materials/$material.cfg" 20
done
for lang in de en es fr it ja nl pl pt ru zh_CN zh_TW; do
    text "lang/$lang/emberlin.lng" 30
done

for i in $(seq 1 60); do text "inkscape/share/extensions/extension_$i.py" 15; done
for i in $(seq 1 40); do text "inkscape/share/icons/hicolor/icon $i.svg" 6; done
for i in $(seq 1 30); do text "inkscape/share/templates/template $i.svg" 10; done
for i in $(seq 1 25); do text "inkscape/share/palettes/palette_$i.gpl" 8; done
for i in $(seq 1 40); do text "inkscape/lib/lib_$i.dll" 50; done
for i in $(seq 1 30); do text "samples/coaster $i.svg" 25; done
for i in $(seq 1 20); do text "samples/photos/photo $i.jpg" 40; done
for i in $(seq 1 10); do text "fonts/Sans $i.ttf" 60; done

# One large file: the installer shows no progress while it is written.
mkdir -p samples/photos
awk 'BEGIN { for (i = 1; i <= 310000; i++) printf "%08d sample photo scan row\r\n", i }' > "samples/photos/photo library.dat"

# Never packed: build leftovers, wherever they are.
text "a.log" 3
text "setup.LOG" 3
text "inkscape/share/x.tds" 3
text "samples/photos/a.log" 3

# Walked like any folder, whatever its name; and a folder with nothing in it.
text "logs.log/session 1.txt" 5
text "logs.log/x.tds" 2
mkdir -p "cache" "inkscape/share/empty folder"
