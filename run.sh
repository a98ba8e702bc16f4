#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the program alone (build-program/) and
# starts the editor. Any arguments are passed on (for example a .gcp file to
# open); without any, it opens the user's own copy of the sample score in the
# data folder, so saving it never touches examples/sample.gcp.
source "$(dirname "$0")/scripts/common.sh"
install_packages "${RUN_PACKAGES[@]}"
build_program
if [ $# -eq 0 ]; then
  set -- --sample
fi
exec "$PROGRAM_BUILD_DIR/kelvo-gongche" "$@"
