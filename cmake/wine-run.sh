#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix that belongs to the build tree.
#   wine-run.sh --root DIR [--arch 32|64] [--version winxp|win7|win8|win10]
#               [--system-dll FILE]... PROGRAM [ARGS...]
# The prefix (DIR/prefix32 or DIR/prefix64) is made on first use; a persistent wineserver
# keeps later starts cheap. --arch defaults to the word size of the Windows build under test
# (TARVIK_WINDOWS_ARCH, 32 when unset). --version sets the Windows version Wine reports to
# PROGRAM's file name only, so programs with other versions can share the prefix. --system-dll
# puts a stand-in library into the prefix's system folder (system32, the native one of the
# prefix), so such a root must belong to the tests that expect it.
set -euo pipefail

root="" arch=${TARVIK_WINDOWS_ARCH:-32} version="" system_dlls=()
while [ $# -gt 0 ]; do
  case "$1" in
    --root) root=$2; shift 2 ;;
    --arch) arch=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    --system-dll) system_dlls+=("$2"); shift 2 ;;
    *) break ;;
  esac
done
[ -n "$root" ] && [ $# -ge 1 ] || { echo "usage: wine-run.sh --root DIR [--arch 32|64] [--version V] [--system-dll FILE]... PROGRAM [ARGS...]" >&2; exit 2; }

export WINEPREFIX="$root/prefix$arch"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}mscoree,mshtml=;winemenubuilder.exe=d"
# The loader: a 32-bit prefix's is Wine's 32-bit one (TARVIK_WINE32_LOADER stands in for it in
# the tests of this script). A 64-bit prefix of the 64-bit build is started through the 64-bit
# one itself, since a machine without 32-bit execution cannot start the plain "wine", the 32-bit
# loader, at all; the 32-bit build's programs there are 32-bit ones, which "wine" takes.
if [ "$arch" = 32 ]; then
  export WINEARCH=win32; wine=${TARVIK_WINE32_LOADER:-/usr/lib/wine/wine}
elif [ "${TARVIK_WINDOWS_ARCH:-32}" = 64 ]; then
  export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64; wine=$WINELOADER
else
  export WINEARCH=win64; wine=wine
fi

# Every step before the program is bounded, so a stuck prefix fails the caller in minutes.
# Measured: on a fresh machine the first 64-bit prefix (Wine's first start, which builds its
# font caches too) took 5 s; a 32-bit prefix takes about 5 s, a 64-bit one up to 12 s on a busy
# machine. The lock is held at most while another caller makes the prefix.
lock_wait=180 step_limit=90

# Children never inherit the lock (fd 9) nor the caller's output; each ends within the limit.
# What Wine printed goes to a log, whose last lines say why a step failed.
mkdir -p "$root"
log="$root/prefix$arch.log"
# Started through bash, which says "Exec format error" of a program this processor cannot run
# (timeout alone would hand it to sh as a script, and log a syntax error).
quiet() { timeout -k 5 $step_limit bash -c 'exec "$@"' bash "$@" </dev/null >>"$log" 2>&1 9>&-; }
die() {
  echo "wine-run.sh: $*" >&2
  if [ -s "$log" ]; then
    echo "wine-run.sh: the last lines Wine printed ($log):" >&2
    tail -n 12 "$log" | sed 's/^/  /' >&2
  fi
  exit 1
}
# step WHAT COMMAND...: runs a set-up step; when it fails, says how, with what Wine printed.
step() {
  local what=$1 rc=0; shift
  echo "== $what: $*" >>"$log"
  quiet "$@" || rc=$?
  [ $rc = 0 ] && return 0
  if [ $rc = 124 ] || [ $rc = 137 ]; then die "$what: no end within $step_limit s"; fi
  die "$what: exit code $rc"
}

(
  flock -w $lock_wait 9 || die "the lock of $WINEPREFIX was not free within $lock_wait s"
  if [ ! -f "$WINEPREFIX/.ready" ]; then
    rm -rf "$WINEPREFIX"
    : >"$log"
    step "making $WINEPREFIX" "$wine" wineboot -i
    step "setting up $WINEPREFIX" "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
    # Desktop, Documents and friends point into the Unix home: make them real folders.
    for link in "$WINEPREFIX"/drive_c/users/*/*; do
      if [ -L "$link" ]; then rm "$link"; mkdir "$link"; fi
    done
    step "letting the Wine server of $WINEPREFIX settle" wineserver -w
    touch "$WINEPREFIX/.ready"
  fi
  # Replaced by a rename, so that a program still running keeps the library it mapped.
  for dll in "${system_dlls[@]}"; do
    target="$WINEPREFIX/drive_c/windows/system32/$(basename "$dll")"
    if ! cmp -s "$dll" "$target"; then
      cp "$dll" "$target.new" && mv -f "$target.new" "$target" || die "cannot place $dll in $WINEPREFIX"
    fi
  done
  # Persistent server: a warm start costs ~0.1 s instead of ~0.6 s. The server and the system
  # processes it keeps alive must not inherit the caller's pipes, or a caller that reads our
  # output waits for them; so a fresh server is warmed up by a quiet process first.
  if quiet wineserver -p120; then
    quiet "$wine" cmd /c exit || true
  fi
  if [ -n "$version" ]; then
    exe=$(basename "$1")
    mark="$WINEPREFIX/.version-$exe-$version"
    if [ ! -f "$mark" ]; then
      step "setting the Windows version of $exe" "$wine" reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe" /v Version /d "$version" /f
      touch "$mark"
    fi
  fi
) 9>"$root/.lock-$arch" || exit 1

exec "$wine" "$@"
