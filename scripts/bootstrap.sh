#!/usr/bin/env bash
# Makes a Debian 12 machine ready to build and test: apt packages, libzip
# and libdeflate cross-built for mingw-w64 from Debian's source packages.
# Quick when all is already in place. Usage: scripts/bootstrap.sh
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
DEPS="$ROOT/.deps"
LIBZIP_VERSION=1.7.3
LIBZIP_DEBIAN_VERSION=1.7.3-1
LIBZIP_PREFIX="$DEPS/mingw"
LIBZIP_STAMP="$LIBZIP_PREFIX/.libzip-$LIBZIP_DEBIAN_VERSION"
LIBDEFLATE_DEBIAN_VERSION=1.14-1
LIBDEFLATE_STAMP="$DEPS/mingw/.libdeflate-$LIBDEFLATE_DEBIAN_VERSION"

PACKAGES=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
  wine64 wine xvfb xauth cmake ninja-build libz-mingw-w64-dev zlib1g-dev
  googletest zip unzip clang libclang-rt-dev dpkg-dev libzip-dev pkg-config libdeflate-dev
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing_packages() {
  local p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || echo "$p"
  done
}

apt_updated=0
apt_update_once() {
  if [ "$apt_updated" -eq 0 ]; then
    as_root apt-get update -qq
    apt_updated=1
  fi
}

install_packages() {
  local missing
  missing=$(missing_packages)
  [ -z "$missing" ] && return 0
  echo "bootstrap: installing: $(echo $missing)"
  apt_update_once
  # shellcheck disable=SC2086
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

# apt-get source needs a deb-src entry for the suite the machine uses.
ensure_deb_src() {
  if grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return 0
  fi
  local suite
  suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  echo "bootstrap: adding a deb-src entry for $suite"
  as_root tee /etc/apt/sources.list.d/tavrel-deb-src.sources >/dev/null <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  apt_updated=0
}

build_libzip() {
  [ -f "$LIBZIP_STAMP" ] && return 0
  echo "bootstrap: building libzip $LIBZIP_DEBIAN_VERSION for mingw-w64"
  ensure_deb_src
  apt_update_once
  local work="$DEPS/src"
  rm -rf "$work" && mkdir -p "$work"
  local log="$DEPS/libzip-build.log"
  if ! (
    set -e
    cd "$work"
    apt-get source -qq --download-only "libzip=$LIBZIP_DEBIAN_VERSION"
    dpkg-source -x ./libzip_"$LIBZIP_DEBIAN_VERSION".dsc libzip
    cmake -Wno-dev -S "$work/libzip" -B "$work/build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$LIBZIP_PREFIX" \
      -DBUILD_SHARED_LIBS=OFF -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF \
      -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
      -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF \
      -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF \
      -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a \
      -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include
    cmake --build "$work/build"
    cmake --install "$work/build"
  ) >"$log" 2>&1; then
    cat "$log" >&2
    echo "bootstrap: the libzip build failed (log: $log)" >&2
    exit 1
  fi
  rm -rf "$work"
  touch "$LIBZIP_STAMP"
}

# libdeflate's own Makefile cross-builds its static library when CC is a
# mingw-w64 compiler (it names it libdeflatestatic.lib); it is installed as
# libdeflate.a beside libzip. Several worktrees may share .deps: the build
# runs under a lock and looks at the stamp again once it holds it.
build_libdeflate() {
  [ -f "$LIBDEFLATE_STAMP" ] && return 0
  mkdir -p "$DEPS"
  exec 9>"$DEPS/.libdeflate.lock"
  flock 9
  if [ -f "$LIBDEFLATE_STAMP" ]; then
    exec 9>&-
    return 0
  fi
  echo "bootstrap: building libdeflate $LIBDEFLATE_DEBIAN_VERSION for mingw-w64"
  ensure_deb_src
  apt_update_once
  local work="$DEPS/src-libdeflate"
  rm -rf "$work" && mkdir -p "$work"
  local log="$DEPS/libdeflate-build.log"
  local upstream=${LIBDEFLATE_DEBIAN_VERSION%-*}
  if ! (
    set -e
    cd "$work"
    apt-get source -qq --download-only "libdeflate=$LIBDEFLATE_DEBIAN_VERSION"
    dpkg-source -x ./libdeflate_"$LIBDEFLATE_DEBIAN_VERSION".dsc libdeflate
    grep -q "LIBDEFLATE_VERSION_STRING[[:space:]]*\"$upstream\"" libdeflate/libdeflate.h
    make -C libdeflate -j2 libdeflatestatic.lib \
      CC=x86_64-w64-mingw32-gcc-posix AR=x86_64-w64-mingw32-ar CFLAGS="-O2 -DNDEBUG"
    install -d "$DEPS/mingw/include" "$DEPS/mingw/lib"
    install -m644 libdeflate/libdeflate.h "$DEPS/mingw/include/libdeflate.h"
    install -m644 libdeflate/libdeflatestatic.lib "$DEPS/mingw/lib/libdeflate.a"
  ) >"$log" 2>&1; then
    cat "$log" >&2
    echo "bootstrap: the libdeflate build failed (log: $log)" >&2
    exit 1
  fi
  rm -rf "$work"
  touch "$LIBDEFLATE_STAMP"
  exec 9>&-
}

install_packages
build_libzip
build_libdeflate
