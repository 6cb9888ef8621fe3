#!/usr/bin/env bash
# Renders the main window on the offscreen platform and saves it as
# docs/main-window.png, the window during a run as docs/main-window-run.png
# and the list of files not printed as docs/failure-list.png, the print
# settings as docs/print-settings.png and the preview as docs/preview.png
# (the pictures in the README). The window sees the
# test's fixed printer list: no spooler is needed.
source "$(dirname "$0")/common.sh"
build_dir=${MORVANE_BUILD_DIR:-$MORVANE_ROOT/build/ci}
[ -x "$build_dir/tests/ui/test_hauptform" ] || build_morvane "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
mkdir -p "$MORVANE_ROOT/docs"
MORVANE_SCREENSHOT_DIR="$MORVANE_ROOT/docs" "$build_dir/tests/ui/test_hauptform" \
    --gtest_filter='HauptFormTest.ScreenshotMatchesTheDesignSize:MainWindowRun.ScreenshotsOfARunAndOfTheFailureList'
MORVANE_SCREENSHOT_DIR="$MORVANE_ROOT/docs" "$build_dir/tests/ui/test_hauptform_settings" \
    --gtest_filter='HauptFormSettings.DialogValues*:HauptFormSettings.Preview*'
echo "saved $MORVANE_ROOT/docs/main-window.png, main-window-run.png, failure-list.png, print-settings.png and preview.png"
