#!/usr/bin/env bash
# Installs what is missing, builds Morvane with its tests, makes sure the CUPS
# spooler runs with a PDF queue, and runs the whole test suite; then builds,
# installs, checks and purges the Debian package (MORVANE_PACKAGE_TEST=0
# leaves that out).
source "$(dirname "$0")/common.sh"
install_dependencies
build_morvane "$MORVANE_ROOT/build/ci" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_HARDEN=ON -DMORVANE_WERROR=ON
ensure_printer
ensure_test_printer
cd "$MORVANE_ROOT/build/ci"
ctest --output-on-failure --parallel "$(( $(nproc) * 2 ))" "$@"
if [ "${MORVANE_PACKAGE_TEST:-1}" != 0 ]; then
    "$MORVANE_ROOT/scripts/package-test.sh"
fi
