#!/usr/bin/env bash
# Installs what is missing, builds Morvane, makes sure a printer exists and
# starts the program.
source "$(dirname "$0")/common.sh"
install_dependencies
build_morvane "$MORVANE_ROOT/build/release" -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF
ensure_printer
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    cat >&2 <<TXT
Morvane is built, but there is no display to show its window on
(neither DISPLAY nor WAYLAND_DISPLAY is set). Start it under a virtual display:
    xvfb-run -a "$MORVANE_ROOT/build/release/src/morvane"
or print without any window from the command line, for example:
    "$MORVANE_ROOT/build/release/src/morvane-batch" --subdirectories ~/Documents '*.pdf'
("morvane-batch --help" lists its options and exit codes).
TXT
    exit 1
fi
exec "$MORVANE_ROOT/build/release/src/morvane" "$@"
