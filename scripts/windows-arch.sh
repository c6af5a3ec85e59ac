# Which Windows build the tests and the demo run. Sourced; windows_arch sets
#   TARVIK_WINDOWS_ARCH  32: the product as it ships, where this machine runs 32-bit x86
#                        programs; 64: the same code built for 64-bit Windows, where it cannot
#                        (some hosts give programs no 32-bit mode, and then no 32-bit Windows
#                        program runs under Wine either). Set beforehand to 32 or 64, it is kept.
#   windows_arch_why     why, in a few words, for the run's first and last lines
#   windows_build        the build tree of that word size (build or build64)
#   windows_toolchain    its toolchain file
# The probe starts Wine's 32-bit loader, a 32-bit program, as the tests would:
# TARVIK_WINE32_LOADER (default /usr/lib/wine/wine).
windows_arch() {
    local loader=${TARVIK_WINE32_LOADER:-/usr/lib/wine/wine} out
    case "${TARVIK_WINDOWS_ARCH:-}" in
        32 | 64) windows_arch_why="chosen by TARVIK_WINDOWS_ARCH=$TARVIK_WINDOWS_ARCH" ;;
        "")
            if out=$("$loader" --version 2>&1 </dev/null); then
                TARVIK_WINDOWS_ARCH=32
                windows_arch_why="this machine runs 32-bit programs"
            else
                TARVIK_WINDOWS_ARCH=64
                windows_arch_why="this machine cannot run 32-bit programs ($loader: $(tail -n 1 <<<"$out" | sed 's/^.*: //'))"
            fi
            ;;
        *)
            echo "TARVIK_WINDOWS_ARCH is '$TARVIK_WINDOWS_ARCH': it must be 32, 64 or unset" >&2
            return 1
            ;;
    esac
    export TARVIK_WINDOWS_ARCH
    if [ "$TARVIK_WINDOWS_ARCH" = 32 ]; then
        windows_build=build windows_toolchain=cmake/toolchain-i686-mingw.cmake
    else
        windows_build=build64 windows_toolchain=cmake/toolchain-x86_64-mingw.cmake
    fi
}
