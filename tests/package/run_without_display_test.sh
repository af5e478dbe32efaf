#!/usr/bin/env bash
# scripts/run on a machine without a display: it prepares the demo files, then explains instead of starting
# a program nobody can see; with a display (or a chosen Qt platform) it starts the program.
# Usage: run_without_display_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$1
build=$2

# shellcheck source=checks.sh
source "$(dirname "$0")/checks.sh"
says() { grep -qF -- "$1" <<<"$out"; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A build folder of our own: the real companion tool, and a stand-in for the program that only notes that
# it was started, so a wrong start shows up instead of hanging the test.
fresh_build() {
    rm -rf "$tmp/build"
    mkdir -p "$tmp/build/bin"
    ln -s "$build/bin/sicherheit-db" "$tmp/build/bin/sicherheit-db"
    printf '#!/bin/sh\npwd > "%s/started"\n' "$tmp" >"$tmp/build/bin/sicherheit"
    chmod +x "$tmp/build/bin/sicherheit"
    rm -f "$tmp/started"
}
run() { # run ENV...: scripts/run with no display but the ENV given; sets out and rc
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM SICHERHEIT_RUN_PREBUILT="$tmp/build" "$@" \
        "$source_dir/scripts/run" 2>&1 </dev/null)
    rc=$?
}

echo "== without a display: prepare, explain in German and English, fail"
fresh_build
run
echo "$out"
check "exits non-zero ($rc)" [ "$rc" -ne 0 ]
check "does not start the program" [ ! -e "$tmp/started" ]
check "makes the system database" [ -f "$tmp/build/bin/system/user.mdb" ]
check "makes the demo file to choose" [ -f "$tmp/build/demo/User.mdb" ]
for text in "Kein Bildschirm gefunden" "grafische Sitzung" "No display found" "graphical session" "ssh -X" \
            "$tmp/build/bin/system/user.mdb" "$tmp/build/demo/User.mdb" "admin / admin"; do
    check "says \"$text\"" says "$text"
done

echo "== a second run keeps the files it made"
touch -d '2001-01-01' "$tmp/build/demo/User.mdb"
run
check "exits non-zero again ($rc)" [ "$rc" -ne 0 ]
check "keeps the demo file" [ "$(stat -c %Y "$tmp/build/demo/User.mdb")" = "$(date -d 2001-01-01 +%s)" ]

echo "== with a display, or a Qt platform chosen, the program starts"
for setting in DISPLAY=:0 WAYLAND_DISPLAY=wayland-0 QT_QPA_PLATFORM=offscreen; do
    fresh_build
    run "$setting"
    check "starts the program with $setting (exit $rc)" [ "$rc" -eq 0 -a -e "$tmp/started" ]
    check "starts it beside the demo file" [ "$(cat "$tmp/started" 2>/dev/null)" = "$tmp/build/demo" ]
done
finish
