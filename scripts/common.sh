# Shared steps of the set-up scripts: install what Debian 12 lacks, build,
# make sure CUPS runs and has a printer. Sourced, not run.
set -euo pipefail

MORVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
MORVANE_PRINTER=${MORVANE_PRINTER:-PDF}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

morvane_packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n qt6-l10n-tools
    libcups2-dev libpoppler-cpp-dev libmagic-dev libtiff-dev zlib1g-dev gettext libgtest-dev
    cups cups-client cups-bsd printer-driver-cups-pdf ghostscript poppler-utils
    xvfb xauth fonts-dejavu-core desktop-file-utils dbus-daemon python3-nautilus gir1.2-nautilus-4.0
)

# install_packages PACKAGE...: installs those of them that are missing.
install_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "== Installing: ${missing[*]}"
        as_root apt-get update
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
    fi
}

install_dependencies() {
    install_packages "${morvane_packages[@]}"
}

# Runs a command with the sanitizer settings of the asan build: stop at the
# first report, leaks checked, the toolkit's own start-up leaks suppressed.
run_sanitized() {
    ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    LSAN_OPTIONS=suppressions=$MORVANE_ROOT/scripts/lsan-suppressions.txt:print_suppressions=0 \
        "$@"
}

# The tests labelled "office" print office documents through LibreOffice
# without a display: its headless packages, for those tests only.
office_packages=(libreoffice-writer-nogui libreoffice-calc-nogui libreoffice-impress-nogui)
install_office_dependencies() {
    install_packages "${office_packages[@]}"
}

# The fuzz targets need Debian's clang with its libFuzzer runtime.
install_fuzz_dependencies() {
    if ! command -v clang++-14 >/dev/null 2>&1 || ! dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q 'install ok installed'; then
        echo "== Installing: clang-14 libclang-rt-14-dev"
        as_root apt-get update
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends clang-14 libclang-rt-14-dev
    fi
}

# build_morvane BUILD_DIR [cmake options...]
build_morvane() {
    local dir=$1
    shift
    local launcher=()
    # Rebuilds of other checkouts reuse the compiler's earlier work.
    command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    cmake -S "$MORVANE_ROOT" -B "$dir" -G Ninja "${launcher[@]}" "$@"
    cmake --build "$dir" --parallel "$(nproc)"
}

# Starts the CUPS spooler when it is not running and adds a cups-pdf queue
# as the default printer when CUPS has none.
ensure_printer() {
    if ! lpstat -r 2>/dev/null | grep -q 'scheduler is running'; then
        echo "== Starting the CUPS spooler"
        if command -v systemctl >/dev/null 2>&1 && [ -d /run/systemd/system ]; then
            as_root systemctl start cups
        else
            as_root cupsd
        fi
        for _ in $(seq 1 100); do
            lpstat -r 2>/dev/null | grep -q 'scheduler is running' && break
            sleep 0.1
        done
    fi
    lpstat -r 2>/dev/null | grep -q 'scheduler is running' || { echo "CUPS did not start" >&2; return 1; }
    if ! lpstat -v 2>/dev/null | grep -q .; then
        echo "== Adding the printer queue '$MORVANE_PRINTER' (PDF files in ~/PDF)"
        as_root lpadmin -p "$MORVANE_PRINTER" -v cups-pdf:/ -E -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
        as_root lpadmin -d "$MORVANE_PRINTER"
    fi
    if ! lpstat -d 2>/dev/null | grep -q 'system default destination'; then
        as_root lpadmin -d "$(lpstat -v | head -n 1 | sed -E 's/^device for ([^:]+):.*/\1/')"
    fi
}

# A second queue for the tests that switch printers.
ensure_test_printer() {
    if ! lpstat -v MorvaneTest2 >/dev/null 2>&1; then
        as_root lpadmin -p MorvaneTest2 -v cups-pdf:/ -E -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
    fi
}
