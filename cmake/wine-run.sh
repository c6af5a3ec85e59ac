#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix that belongs to the build tree.
#   wine-run.sh --root DIR [--arch 32|64] [--version winxp|win7|win8|win10] PROGRAM [ARGS...]
# The prefix (DIR/prefix32 or DIR/prefix64) is made on first use; a persistent wineserver
# keeps later starts cheap. --version sets the Windows version Wine reports to PROGRAM's
# file name only, so programs with other versions can share the prefix.
set -euo pipefail

root="" arch=32 version=""
while [ $# -gt 0 ]; do
  case "$1" in
    --root) root=$2; shift 2 ;;
    --arch) arch=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    *) break ;;
  esac
done
[ -n "$root" ] && [ $# -ge 1 ] || { echo "usage: wine-run.sh --root DIR [--arch 32|64] [--version V] PROGRAM [ARGS...]" >&2; exit 2; }

export WINEPREFIX="$root/prefix$arch"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}mscoree,mshtml=;winemenubuilder.exe=d"
if [ "$arch" = 32 ]; then export WINEARCH=win32; else export WINEARCH=win64; fi

# Children never inherit the lock (fd 9) nor the caller's output.
quiet() { "$@" </dev/null >/dev/null 2>&1 9>&-; }

mkdir -p "$root"
(
  flock 9
  if [ ! -f "$WINEPREFIX/.ready" ]; then
    rm -rf "$WINEPREFIX"
    quiet wineboot -i
    quiet wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
    # Desktop, Documents and friends point into the Unix home: make them real folders.
    for link in "$WINEPREFIX"/drive_c/users/*/*; do
      if [ -L "$link" ]; then rm "$link"; mkdir "$link"; fi
    done
    quiet wineserver -w
    touch "$WINEPREFIX/.ready"
  fi
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
      quiet wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe" /v Version /d "$version" /f
      touch "$mark"
    fi
  fi
) 9>"$root/.lock-$arch"

exec wine "$@"
