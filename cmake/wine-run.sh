#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix that belongs to the build tree.
#   wine-run.sh --root DIR [--arch 32|64] [--version winxp|win7|win8|win10]
#               [--system-dll FILE]... PROGRAM [ARGS...]
# The prefix (DIR/prefix32 or DIR/prefix64) is made on first use; a persistent wineserver
# keeps later starts cheap. --version sets the Windows version Wine reports to PROGRAM's
# file name only, so programs with other versions can share the prefix. --system-dll puts a
# stand-in library into the prefix's system folder (system32, the native one of the prefix),
# so such a root must belong to the tests that expect it.
set -euo pipefail

root="" arch=32 version="" system_dlls=()
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
if [ "$arch" = 32 ]; then export WINEARCH=win32; else export WINEARCH=win64; fi

# Every step before the program is bounded, so a stuck prefix fails the caller in minutes:
# the lock is held at most while another caller makes the prefix (a 64-bit one takes ~12 s).
lock_wait=180 step_limit=90

# Children never inherit the lock (fd 9) nor the caller's output; each ends within the limit.
quiet() { timeout -k 5 $step_limit "$@" </dev/null >/dev/null 2>&1 9>&-; }
die() { echo "wine-run.sh: $*" >&2; exit 1; }

mkdir -p "$root"
(
  flock -w $lock_wait 9 || die "the lock of $WINEPREFIX was not free within $lock_wait s"
  if [ ! -f "$WINEPREFIX/.ready" ]; then
    rm -rf "$WINEPREFIX"
    quiet wineboot -i || die "making $WINEPREFIX failed or took over $step_limit s"
    quiet wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f || die "setting up $WINEPREFIX failed"
    # Desktop, Documents and friends point into the Unix home: make them real folders.
    for link in "$WINEPREFIX"/drive_c/users/*/*; do
      if [ -L "$link" ]; then rm "$link"; mkdir "$link"; fi
    done
    quiet wineserver -w || die "the Wine server of $WINEPREFIX did not settle within $step_limit s"
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
    quiet wine cmd /c exit || true
  fi
  if [ -n "$version" ]; then
    exe=$(basename "$1")
    mark="$WINEPREFIX/.version-$exe-$version"
    if [ ! -f "$mark" ]; then
      quiet wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe" /v Version /d "$version" /f ||
        die "setting the Windows version of $exe failed"
      touch "$mark"
    fi
  fi
) 9>"$root/.lock-$arch" || exit 1

exec wine "$@"
