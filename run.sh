#!/usr/bin/env bash
# Installs what is missing, builds, and starts the editor.
# Any arguments are passed on (for example a .gcp file to open).
source "$(dirname "$0")/scripts/common.sh"
install_packages
build_project
if [ $# -eq 0 ] && [ -f "$ROOT/examples/sample.gcp" ]; then
  set -- "$ROOT/examples/sample.gcp"
fi
exec "$BUILD_DIR/kelvo-gongche" "$@"
