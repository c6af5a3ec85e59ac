#!/usr/bin/env bash
# Lays out the bulk of the sample application tree in OUT (replaced if present): some 2,700
# files and 50 MB, as an Inkscape distribution brings, in folders up to five levels deep, names
# with blanks, an empty folder, a folder named "logs.log" that is walked, files the builder
# must skip (x.tds, setup.LOG, a.log) and files above 8 MiB. Same bytes on every run.
# Emberlin.exe and inkscape\inkscape.exe are built from the sources beside this script and
# copied in by the build.
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

# Inkscape's bulk: icons in thousands of small files, which the copy takes seconds over, so
# that its progress can be watched, and one library of 12 MB before them.
for theme in Tango hicolor multicolor symbolic; do
    for size in 16 22 24 32 48 64; do mkdir -p "inkscape/share/icons/$theme/${size}x$size/actions"; done
done
awk 'BEGIN {
    split("Tango hicolor multicolor symbolic", themes, " "); split("16 22 24 32 48 64", sizes, " ")
    for (i = 0; i < 2400; i++) {
        file = sprintf("inkscape/share/icons/%s/%sx%s/actions/action-%04d.svg", themes[i % 4 + 1], sizes[int(i / 4) % 6 + 1], sizes[int(i / 4) % 6 + 1], i)
        for (line = 0; line < 40 + (i * 37) % 400; line++)
            printf "<path id=\"p%d-%d\" d=\"M %d %d L %d %d\"/>\r\n", i, line, (i * line) % 97, line, (i + line) % 89, (i * 7 + line) % 83 > file
        close(file)
    }
}'
mkdir -p inkscape/lib
awk 'BEGIN { for (i = 1; i <= 225000; i++) printf "%08d %08x inkscape base library block %06d\r\n", i, i * 2654435761 % 4294967296, i % 999983 }' > "inkscape/lib/libinkscape_base.dll"

# Never packed: build leftovers, wherever they are.
text "a.log" 3
text "setup.LOG" 3
text "inkscape/share/x.tds" 3
text "samples/photos/a.log" 3

# Walked like any folder, whatever its name; and a folder with nothing in it.
text "logs.log/session 1.txt" 5
text "logs.log/x.tds" 2
mkdir -p "cache" "inkscape/share/empty folder"
