#!/usr/bin/env bash
# Installs what the Debian package build needs and builds the package from a
# clean copy of the sources. The .deb and .changes land in build/package/.
#   scripts/package.sh            build (runs the tests that need no spooler)
#   DEB_BUILD_OPTIONS=nocheck ... build without tests
source "$(dirname "$0")/common.sh"

out=$MORVANE_ROOT/build/package
version=$(dpkg-parsechangelog -l "$MORVANE_ROOT/debian/changelog" -S Version 2>/dev/null ||
    sed -n '1s/.*(\(.*\)).*/\1/p' "$MORVANE_ROOT/debian/changelog")
upstream=${version%-*}
stage=$out/morvane-$upstream

install_build_dependencies() {
    if command -v dpkg-checkbuilddeps >/dev/null 2>&1 &&
        (cd "$MORVANE_ROOT" && dpkg-checkbuilddeps >/dev/null 2>&1); then
        return
    fi
    echo "== Installing the package build's dependencies"
    as_root apt-get update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends dpkg-dev debhelper
    (cd "$MORVANE_ROOT" && as_root env DEBIAN_FRONTEND=noninteractive apt-get build-dep -y --no-install-recommends ./)
}

# A clean tree: tracked files as they are in the work tree and new files git
# does not ignore; no build output.
stage_sources() {
    rm -rf "$out"
    mkdir -p "$stage"
    if git -C "$MORVANE_ROOT" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        (cd "$MORVANE_ROOT" && git ls-files -z --cached --others --exclude-standard |
            tar --null --ignore-failed-read -T - -cf -) | tar -xf - -C "$stage"
    else
        (cd "$MORVANE_ROOT" && tar --exclude=./build --exclude=./.git -cf - .) | tar -xf - -C "$stage"
    fi
}

install_build_dependencies
stage_sources
echo "== Building the package morvane $version in $stage"
export DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS:-parallel=$(nproc)}
start=$(date +%s)
(cd "$stage" && nice dpkg-buildpackage -b -us -uc)
echo "== Built in $(( $(date +%s) - start )) s:"
ls "$out"/*.deb
