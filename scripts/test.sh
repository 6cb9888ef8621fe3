#!/usr/bin/env bash
# Installs what is missing, builds Morvane with its tests, makes sure the CUPS
# spooler runs with a PDF queue, and runs the whole test suite: in the
# hardened build, then under AddressSanitizer and UndefinedBehaviorSanitizer;
# then runs every fuzz target for 30 seconds; then builds, installs, checks
# and purges the Debian package. ctest options given to this script apply to
# both suite runs; MORVANE_SKIP_ASAN=1, MORVANE_SKIP_FUZZ=1 or
# MORVANE_PACKAGE_TEST=0 leave a stage out for a quick local run;
# MORVANE_SKIP_OFFICE=1 leaves out LibreOffice and the tests labelled office.
source "$(dirname "$0")/common.sh"
install_dependencies
if [ "${MORVANE_SKIP_OFFICE:-0}" != 1 ]; then
    install_office_dependencies
else
    set -- -LE office "$@"
fi
build_morvane "$MORVANE_ROOT/build/ci" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_HARDEN=ON -DMORVANE_WERROR=ON
ensure_printer
ensure_test_printer
stage() { echo "== $1 ($(date +%T))"; }
stage "Test suite, hardened build"
ctest --test-dir "$MORVANE_ROOT/build/ci" --output-on-failure --parallel "$(( $(nproc) * 2 ))" "$@"

if [ "${MORVANE_SKIP_ASAN:-0}" != 1 ]; then
    stage "Sanitizer build"
    build_morvane "$MORVANE_ROOT/build/asan" -DCMAKE_BUILD_TYPE=Debug -DMORVANE_SANITIZE=ON
    stage "Test suite under the sanitizers"
    run_sanitized ctest --test-dir "$MORVANE_ROOT/build/asan" --output-on-failure --parallel "$(( $(nproc) * 2 ))" "$@"
fi

if [ "${MORVANE_SKIP_FUZZ:-0}" != 1 ]; then
    stage "Fuzz targets, 30 s each"
    bash "$MORVANE_ROOT/scripts/fuzz.sh" 30
fi

if [ "${MORVANE_PACKAGE_TEST:-1}" != 0 ]; then
    stage "Debian package: build, install, check, purge"
    "$MORVANE_ROOT/scripts/package-test.sh"
fi
stage "Done"
