#!/usr/bin/env bash
# Builds the Debian package and checks it as a user would meet it: installs
# it, runs the three programs from /usr/bin (the window under a virtual display
# in German, its texts read through the accessibility bus), validates the
# desktop files, runs lintian, purges the package and checks that nothing of
# it is left. Needs root (or sudo); changes the system's package set.
source "$(dirname "$0")/common.sh"

test_tools=(lintian desktop-file-utils appstream xvfb xauth dbus-daemon at-spi2-core gir1.2-atspi-2.0 python3-gi
    shared-mime-info)

fail() {
    echo "package test: $*" >&2
    exit 1
}

# One package test at a time on this machine: they install and purge the same package.
exec 9>/tmp/morvane-package-test.lock
flock 9

if dpkg-query -W -f='${Status}' morvane 2>/dev/null | grep -q 'install ok installed'; then
    echo "== Package test skipped: morvane is installed on this machine and stays as it is"
    exit 0
fi

start=$(date +%s)
morvane_packages=("${test_tools[@]}")
install_dependencies
"$MORVANE_ROOT/scripts/package.sh"
built=$(date +%s)
out=$MORVANE_ROOT/build/package
deb=$(ls "$out"/morvane_*.deb)
changes=$(ls "$out"/morvane_*.changes)

echo "== Installing $deb"
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$deb"
mapfile -t files < <(dpkg -L morvane | while read -r f; do [ -d "$f" ] || echo "$f"; done)
work=$(mktemp -d)
purge() { as_root dpkg --purge morvane >/dev/null 2>&1 || true; rm -rf "$work"; }
trap purge EXIT

echo "== Contents"
contents=$(dpkg-deb -c "$deb")
for f in /usr/bin/morvane /usr/bin/morvane-batch /usr/bin/morvane-printpdf \
    /usr/share/morvane/locale/de/LC_MESSAGES/default.mo /usr/share/morvane/locale/de/LC_MESSAGES/dialogs.mo \
    /usr/share/morvane/locale/de/LC_MESSAGES/qt.mo /usr/share/morvane/locale/de/LC_MESSAGES/printpdf.mo /usr/share/applications/org.morvane.Morvane.desktop \
    /usr/share/morvane/locale/fr/LC_MESSAGES/default.mo /usr/share/morvane/locale/fr/LC_MESSAGES/dialogs.mo \
    /usr/share/morvane/locale/fr/LC_MESSAGES/qt.mo /usr/share/morvane/locale/fr/LC_MESSAGES/printpdf.mo \
    /usr/share/morvane/locale/es/LC_MESSAGES/default.mo /usr/share/morvane/locale/es/LC_MESSAGES/dialogs.mo \
    /usr/share/morvane/locale/es/LC_MESSAGES/qt.mo /usr/share/morvane/locale/es/LC_MESSAGES/printpdf.mo \
    /usr/share/morvane/locale/it/LC_MESSAGES/default.mo /usr/share/morvane/locale/it/LC_MESSAGES/dialogs.mo \
    /usr/share/morvane/locale/it/LC_MESSAGES/qt.mo /usr/share/morvane/locale/it/LC_MESSAGES/printpdf.mo \
    /usr/share/metainfo/org.morvane.Morvane.metainfo.xml /usr/share/mime/packages/org.morvane.Morvane.xml \
    /usr/share/icons/hicolor/scalable/apps/org.morvane.Morvane.svg \
    /usr/share/icons/hicolor/48x48/apps/org.morvane.Morvane.png \
    /usr/share/icons/hicolor/256x256/apps/org.morvane.Morvane.png \
    /usr/share/man/man1/morvane.1.gz /usr/share/man/man1/morvane-batch.1.gz /usr/share/man/man1/morvane-printpdf.1.gz \
    /usr/lib/systemd/user/morvane-watch@.service \
    /usr/share/bash-completion/completions/morvane-batch /usr/share/bash-completion/completions/morvane-printpdf \
    /usr/share/zsh/vendor-completions/_morvane /usr/share/kio/servicemenus/org.morvane.Morvane.servicemenu.desktop \
    /usr/share/nemo/actions/morvane-print.nemo_action /usr/share/nemo/actions/morvane-window.nemo_action \
    "/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/morvane/morvane-pdfcheck.so" \
    "/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/morvane/morvane-filetypes.so" \
    /usr/share/nautilus-python/extensions/morvane-nautilus.py; do
    grep -q " \.$f\$" <<<"$contents" || fail "the package lacks $f"
done
! grep -q '\.symtab' <<<"$(readelf -S /usr/bin/morvane)" || fail "/usr/bin/morvane is not stripped"
upstream=$(dpkg-query -W -f='${Version}' morvane)
upstream=${upstream%-*}
grep -q "<release version=\"$upstream\"" /usr/share/metainfo/org.morvane.Morvane.metainfo.xml ||
    fail "the AppStream metadata lacks the release $upstream"

echo "== Command-line programs"
# Outputs are read whole before grep looks: grep -q ends at the first match,
# and a program still writing would fail the pipeline with SIGPIPE.
grep -q -- '-print-to' <<<"$(/usr/bin/morvane-printpdf --help)" || fail "morvane-printpdf --help"
# Its catalogs are found from /usr/bin, also under the C locale.
# (It refuses the file with exit code 2: its words are read after it ended.)
refusal=$(env LC_ALL=C LANGUAGE=de /usr/bin/morvane-printpdf -check "$work/missing.pdf" 2>&1 || true)
grep -q 'kann nicht geöffnet werden' <<<"$refusal" || fail "morvane-printpdf in German: $refusal"
# The print program finds its modules where the package put them: a text
# needs libmagic's, a PDF without a cross-reference table the PDF library's.
printf 'a line\n' >"$work/note.txt"
printf '%%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n3 0 obj << /Type /Page /Parent 2 0 R >> endobj\ntrailer << /Root 1 0 R >>\n%%%%EOF\n' >"$work/rebuilt.pdf"
grep -q 'text/plain' <<<"$(/usr/bin/morvane-printpdf -check "$work/note.txt")" || fail "morvane-printpdf -check of a text"
grep -q '1 page' <<<"$(/usr/bin/morvane-printpdf -check "$work/rebuilt.pdf")" || fail "morvane-printpdf -check of a PDF"
mkdir -p "$work/tree/sub"
for f in a.pdf sub/b.pdf notes.txt; do printf '%%PDF-1.4\n' >"$work/tree/$f"; done
printf 'sub/b.pdf\n' >"$work/tree/list.pbt"
dry=$(cd "$work" && HOME=$work /usr/bin/morvane-batch --dry-run -s tree '*.pdf;list.pbt')
# sub/b.pdf is named by the mask and the list: printed once, at its first place.
[ "$(grep -c . <<<"$dry")" -eq 2 ] && grep -q "^1	.*/tree/a.pdf\$" <<<"$dry" && grep -q "^1	.*/tree/sub/b.pdf\$" <<<"$dry" ||
    fail "morvane-batch --dry-run gave: $dry"
grep -q '^Optionen:' <<<"$(HOME=$work LANG=de_DE.UTF-8 LANGUAGE= /usr/bin/morvane-batch --help)" ||
    fail "morvane-batch --help is not German"

echo "== The window in German, with the catalogs the package installed"
window_texts() {
    local home=$work/home-$1
    mkdir -p "$home"
    HOME=$home LANG=$1 LANGUAGE= QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 timeout 120 dbus-run-session -- \
        xvfb-run -a sh -c '/usr/bin/morvane & pid=$!
            /usr/bin/python3 "$0" morvane 60; rc=$?
            kill $pid; wait $pid; exit $rc' "$MORVANE_ROOT/scripts/window-texts.py" 2>/dev/null
}
german=$(window_texts de_DE.UTF-8) || fail "the window's texts could not be read"
for caption in 'Verzeichnis:' 'Dateinamen:' 'Unterverzeichnisse einschließen' 'Drucker:' 'Drucken'; do
    grep -qxF "$caption" <<<"$german" || fail "the German window lacks \"$caption\"; it shows: $german"
done
# Without the installed catalogs the same start is English: the texts above
# came from /usr/share/morvane, not from anything left in the executable.
as_root mv /usr/share/morvane/locale /usr/share/morvane/locale.off
english=$(window_texts de_DE.UTF-8) || true
as_root mv /usr/share/morvane/locale.off /usr/share/morvane/locale
grep -qxF 'Directory:' <<<"$english" && ! grep -qxF 'Verzeichnis:' <<<"$english" ||
    fail "without the installed catalogs the window shows: $english"

echo "== Desktop entry, MIME type, AppStream metadata"
desktop-file-validate /usr/share/applications/org.morvane.Morvane.desktop
appstreamcli validate --no-net /usr/share/metainfo/org.morvane.Morvane.metainfo.xml
if [ -x /usr/bin/update-mime-database ]; then
    grep -q 'text/x-morvane-printlist' /usr/share/mime/globs2 || fail "the print-list MIME type is not registered"
fi
# "Open with Morvane" for PDF files and print lists.
if [ -x /usr/bin/update-desktop-database ]; then
    for type in application/pdf text/x-morvane-printlist; do
        grep -q "^$type=.*org.morvane.Morvane.desktop" /usr/share/applications/mimeinfo.cache ||
            fail "the menu entry is not offered for $type"
    done
fi

# The GNOME Files extension compiles (without leaving a cache behind in /usr).
/usr/bin/python3 -c 'import sys; compile(open(sys.argv[1]).read(), sys.argv[1], "exec")' \
    /usr/share/nautilus-python/extensions/morvane-nautilus.py || fail "the GNOME Files extension does not compile"

echo "== lintian"
lintian --fail-on error,warning --info "$changes"

echo "== Purging"
as_root dpkg --purge morvane
for f in "${files[@]}"; do
    [ ! -e "$f" ] || fail "$f is left after purging"
done
[ ! -e /usr/share/morvane ] || fail "/usr/share/morvane is left after purging"
if [ -x /usr/bin/update-mime-database ]; then
    ! grep -q 'text/x-morvane-printlist' /usr/share/mime/globs2 || fail "the MIME type is left after purging"
fi
trap - EXIT
rm -rf "$work"
end=$(date +%s)
echo "== Package test passed: build $((built - start)) s, checks $((end - built)) s"
