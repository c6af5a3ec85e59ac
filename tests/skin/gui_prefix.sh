# Shell functions for the window tests: a private X server, and a Wine root whose prefix can
# draw the window's fonts. Sourced by gui_test.sh and the window end-to-end test.

# Starts Xvfb on a free display and exports DISPLAY; XVFB_PID is its process id.
start_xvfb() {  # start_xvfb WORK_DIR
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$1/display" 2>/dev/null &
    XVFB_PID=$!
    for _ in $(seq 50); do [ -s "$1/display" ] && break; sleep 0.1; done
    [ -s "$1/display" ] || return 1
    export DISPLAY=:$(cat "$1/display")
}

# Makes the 32-bit prefix of WINE_ROOT and gives it Wine's own Tahoma, MS Sans Serif and the
# Marlett symbols of the caption buttons: the Debian build does not load them from its data
# folder, and a window drawn in a substitute font has other text widths than on Windows. For
# the Chinese code page the CJK font stands in for the bitmap MS Sans Serif, as SimSun does on
# a Chinese Windows. The screen's DPI is TARVIK_TEST_DPI (default 96), set every time, so a run
# cut short at another DPI leaves nothing behind.
prepare_gui_prefix() {  # prepare_gui_prefix WINE_RUN WINE_ROOT
    "$1" --root "$2" cmd /c exit </dev/null >/dev/null 2>&1 || return 1
    "$1" --root "$2" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
        /v 'MS Sans Serif,134' /d 'WenQuanYi Micro Hei,134' /f </dev/null >/dev/null 2>&1 || return 1
    set_gui_dpi "$1" "$2" "${TARVIK_TEST_DPI:-96}" || return 1
    local fonts="$2/prefix${TARVIK_WINDOWS_ARCH:-32}/drive_c/windows/Fonts" source
    source=$(dirname "$(readlink -f "$(command -v wine)")")/../share/wine/fonts
    [ -d "$source" ] || source=/usr/share/wine/fonts
    mkdir -p "$fonts"
    for font in tahoma.ttf tahomabd.ttf sserife.fon ms_sans_serif.ttf marlett.ttf; do
        [ -f "$fonts/$font" ] || cp "$source/$font" "$fonts/" 2>/dev/null || return 1
    done
}

# Sets the DPI of the screen for the programs started from now on: Wine 8 reads LogPixels from
# HKCU\Control Panel\Desktop first (then from the hardware profile's Fonts key) when a program
# starts, and gives it to every program, DPI-aware or not.
set_gui_dpi() {  # set_gui_dpi WINE_RUN WINE_ROOT DPI
    "$1" --root "$2" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$3" /f \
        </dev/null >/dev/null 2>&1
}
