#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package kelvo-gongche_<version>_<arch>.deb: a Release
# build of the program alone, with Debian's hardening flags, in build-pkg/
# (KELVO_PACKAGE_DIR to put it elsewhere), packed by CPack.
source "$(dirname "$0")/common.sh"
install_packages dpkg-dev
PKG_DIR="${KELVO_PACKAGE_DIR:-$ROOT/build-pkg}"
cd "$ROOT"
# Debian's flags with full hardening (bind-now too), as dh would build it.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
# CMake reads no CPPFLAGS (_FORTIFY_SOURCE): they join the compiler flags.
# Passed on every run, so a changed flag reaches an existing build folder.
cmake -S "$ROOT" -B "$PKG_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_CXX_FLAGS="$CXXFLAGS $CPPFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS"
cmake --build "$PKG_DIR" --parallel "$(nproc)"
cd "$PKG_DIR"
cpack -G DEB
ls -l "$PKG_DIR"/*.deb
