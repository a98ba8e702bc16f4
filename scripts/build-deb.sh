#!/usr/bin/env bash
# Builds the Debian package kelvo-gongche_<version>_<arch>.deb: a Release
# build of the program alone, with Debian's hardening flags, in build-pkg/
# (KELVO_PACKAGE_DIR to put it elsewhere), packed by CPack.
source "$(dirname "$0")/common.sh"
install_packages dpkg-dev
PKG_DIR="${KELVO_PACKAGE_DIR:-$ROOT/build-pkg}"
cd "$ROOT"
eval "$(dpkg-buildflags --export=sh)"
# CMake reads CXXFLAGS and LDFLAGS but not CPPFLAGS (_FORTIFY_SOURCE).
export CXXFLAGS="$CXXFLAGS $CPPFLAGS"
if [ ! -f "$PKG_DIR/build.ninja" ]; then
  cmake -S "$ROOT" -B "$PKG_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
fi
cmake --build "$PKG_DIR" --parallel "$(nproc)"
cd "$PKG_DIR"
cpack -G DEB
ls -l "$PKG_DIR"/*.deb
