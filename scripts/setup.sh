#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12 machine (run as root).
# Idempotent: a second run only checks and returns quickly.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
deps="$here/.deps"

packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64
  wine wine32:i386 wine64 fonts-wine xvfb xdotool imagemagick x11-utils
  googletest cmake ninja-build dpkg-dev locales g++ clang libclang-rt-14-dev
  zip fonts-wqy-microhei zlib1g-dev osslsigncode openssl libxml2-utils libzstd-dev zstd
  nsis time)
# zip packs language archives for the window tests; the CJK font lets Wine draw the Chinese window.
# nsis is the peer installer system the release benchmark measures against; time gives every pack's peak memory.
# libzstd-dev gives the Linux tool its Zstandard compressor (the Windows one's is built from the source package below); zstd reads a sealed member back in the tests.

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  missing=("${packages[@]}")
else
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
fi

src_list=/etc/apt/sources.list.d/debian.sources
need_src=0
if [ -f "$src_list" ] && ! grep -q '^Types:.*deb-src' "$src_list"; then
  sed -i 's/^Types: deb$/Types: deb deb-src/' "$src_list"
  need_src=1
fi

if [ ${#missing[@]} -gt 0 ] || [ $need_src -eq 1 ] || [ ! -f "$deps/minizip/zip.c" ] || [ ! -f "$deps/zlib/deflate.c" ] || [ ! -f "$deps/zstd/lib/compress/zstd_compress.c" ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
fi
if [ ${#missing[@]} -gt 0 ]; then
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The Chinese ANSI code page (936) for the localisation tests.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

# Unpacks Debian's source package $1 into $2/src and prints its version. The newest version's
# source may be missing from the archive, so fall back over the others.
fetch_source() {
  local package=$1 work=$2 v
  for v in $(apt-cache showsrc "$package" | awk '/^Version:/{print $2}' | sort -urV); do
    if (cd "$work" && apt-get source -q --download-only "$package=$v" >/dev/null 2>&1); then
      (cd "$work" && dpkg-source -x --no-check ./*.dsc src >/dev/null) && echo "$v"
      return
    fi
  done
}

# Debian's zlib source package gives minizip (contrib/minizip, not packaged for mingw) and, for
# Windows, zlib itself, which cmake/Dependencies.cmake builds for the installer's size.
if [ ! -f "$deps/minizip/zip.c" ] || [ ! -f "$deps/zlib/deflate.c" ]; then
  work=$(mktemp -d)
  got=$(fetch_source zlib "$work")
  [ -n "$got" ] || { echo "setup: no zlib source package could be fetched" >&2; exit 1; }
  rm -rf "$deps/minizip" "$deps/zlib"
  mkdir -p "$deps/minizip" "$deps/zlib"
  cp "$work"/src/contrib/minizip/{ioapi.c,ioapi.h,zip.c,zip.h,unzip.c,unzip.h,crypt.h} "$deps/minizip/"
  cp "$work"/src/*.[ch] "$work"/src/LICENSE "$deps/zlib/"
  echo "$got" > "$deps/minizip/VERSION"
  echo "$got" > "$deps/zlib/VERSION"
  rm -rf "$work"
fi
# Zstandard for Windows, built for mingw from Debian's libzstd source package, the same version
# as the Linux tool's libzstd-dev where the archive still has it: the installer's decompressor
# (cmake/Dependencies.cmake compiles only the decoding part into it) and the Windows tool's
# compressor. A folder from before the compressor was needed is fetched anew.
if [ ! -f "$deps/zstd/lib/compress/zstd_compress.c" ]; then
  work=$(mktemp -d)
  got=$(fetch_source libzstd "$work")
  [ -n "$got" ] || { echo "setup: no libzstd source package could be fetched" >&2; exit 1; }
  rm -rf "$deps/zstd"
  mkdir -p "$deps/zstd/lib"
  cp -r "$work"/src/lib/common "$work"/src/lib/decompress "$work"/src/lib/compress "$deps/zstd/lib/"
  cp "$work"/src/lib/zstd.h "$work"/src/lib/zstd_errors.h "$deps/zstd/lib/"
  cp "$work"/src/LICENSE "$deps/zstd/"
  echo "$got" > "$deps/zstd/VERSION"
  rm -rf "$work"
fi
echo "setup: ready (zlib for Windows and minizip from zlib $(cat "$deps/zlib/VERSION"), zstd for Windows from libzstd $(cat "$deps/zstd/VERSION"))"
