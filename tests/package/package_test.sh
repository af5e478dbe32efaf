#!/usr/bin/env bash
# Builds the Debian package from the build folder, unpacks it into a temporary root and checks what a user
# gets: the program with key.avi in its own folder, the links that let it find them, the companion tool
# running from there, the desktop entry, the icons and the manual page.
# Usage: package_test.sh BUILD_DIR VERSION FOLDER_PROBE. Exit 77 (skipped) when the tools are missing.
set -uo pipefail
build=$1
version=$2
probe=$3

skip() {
    echo "SKIPPED: $*"
    exit 77
}
for tool in cpack dpkg-deb; do
    command -v "$tool" >/dev/null || skip "$tool is not installed; the package cannot be built or unpacked here"
done
[ -f "$build/CPackConfig.cmake" ] || skip "$build has no CPackConfig.cmake"

# shellcheck source=checks.sh
source "$(dirname "$0")/checks.sh"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Story: the package is built from the project and declares what a fresh system must bring.
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log"
    echo "FAIL: cpack -G DEB"
    exit 1
fi
deb=$(find "$tmp/pkg" -maxdepth 1 -name 'sicherheit_*.deb' | head -n 1)
[ -n "$deb" ] || { echo "FAIL: no sicherheit_*.deb in $tmp/pkg"; ls -R "$tmp/pkg"; exit 1; }
field() { dpkg-deb -f "$deb" "$1"; }
check "package name" [ "$(field Package)" = sicherheit ]
check "package version is the project's ($version)" [ "$(field Version)" = "$version" ]
check "maintainer line" [ -n "$(field Maintainer)" ]
check "description" [ -n "$(field Description)" ]
depends=$(field Depends)
echo "Depends: $depends"
for dep in libqt6widgets6 libqt6gui6 libqt6core6 libsqlcipher0 qt6-qpa-plugins qt6-translations-l10n \
           fonts-dejavu-core; do
    check "depends on $dep" grep -q "\b$dep\b" <<<"$depends"
done
dpkg-deb -e "$deb" "$tmp/control"
check "postinst makes the data folder" grep -q "mkdir -p /var/lib/sicherheit" "$tmp/control/postinst"
# Where the test cannot install as root into a real system, the maintainer script's own commands are read.
check "postinst makes the system group sicherheit" grep -q "addgroup --system --quiet sicherheit" "$tmp/control/postinst"
check "postinst gives the folder to root and that group" grep -q "chown root:sicherheit /var/lib/sicherheit" "$tmp/control/postinst"
check "postinst opens the folder to the group alone, passing it on to new files" \
    grep -q "chmod 2770 /var/lib/sicherheit" "$tmp/control/postinst"
check "depends on adduser for the group" grep -q "\badduser\b" <<<"$depends"
check "postinst is executable" [ -x "$tmp/control/postinst" ]

# Story: installed into a root, the program finds key.avi and system/user.mdb beside its real path.
root=$tmp/root
dpkg-deb -x "$deb" "$root"
lib=$root/usr/lib/sicherheit
check "program in /usr/lib/sicherheit" [ -x "$lib/sicherheit" -a ! -L "$lib/sicherheit" ]
check "key.avi beside the program" [ "$(head -c 4 "$lib/key.avi" 2>/dev/null)" = RIFF ]
check "/usr/bin/sicherheit links to the program" \
    [ "$(readlink -f "$root/usr/bin/sicherheit")" = "$(readlink -f "$lib/sicherheit")" ]
check "system folder links to /var/lib/sicherheit" [ "$(readlink "$lib/system")" = /var/lib/sicherheit ]
# The program's own way of finding its folder, started through a symlink on the PATH like the real one.
cp "$probe" "$lib/folder_probe"
ln -s ../lib/sicherheit/folder_probe "$root/usr/bin/folder_probe"
check "program folder is the real one when started through /usr/bin" \
    [ "$("$root/usr/bin/folder_probe")" = "$(cd "$lib" && pwd -P)/" ]

# Story: the companion tool runs from the installed root and makes a system database.
tool=$root/usr/bin/sicherheit-db
check "sicherheit-db installed" [ -x "$tool" ]
out=$("$tool" --version 2>&1)
rc=$?
echo "sicherheit-db --version (exit $rc): $out"
check "sicherheit-db --version succeeds and names $version" [ "$rc" -eq 0 -a "$(grep -cF "$version" <<<"$out")" -gt 0 ]
mkdir -p "$tmp/data"
"$tool" init "$tmp/data/user.mdb" --admin chef --password geheim --account chef >/dev/null 2>&1
check "installed sicherheit-db init makes a database it can list" \
    grep -q "^chef " <<<"$("$tool" users "$tmp/data/user.mdb" 2>&1)"

# Story: the desktop knows the program.
desktop=$root/usr/share/applications/sicherheit.desktop
check "desktop entry installed" [ -f "$desktop" ]
check "desktop entry: German name" grep -qx "Name=Sicherheitsbeschreibungen" "$desktop"
check "desktop entry: German comment" grep -q "^Comment=.*Benutzer" "$desktop"
check "desktop entry: Exec" grep -qx "Exec=sicherheit" "$desktop"
check "desktop entry: Icon" grep -qx "Icon=sicherheit" "$desktop"
check "desktop entry: Categories" grep -q "^Categories=" "$desktop"
if command -v desktop-file-validate >/dev/null; then
    check "desktop entry validates" desktop-file-validate "$desktop"
fi
png_side() { # width of a PNG from its IHDR chunk
    od -An -tu1 -j16 -N4 "$1" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 }'
}
for side in 16 32 48 64 128 256; do
    icon=$root/usr/share/icons/hicolor/${side}x${side}/apps/sicherheit.png
    check "icon ${side}x${side}" [ "$( [ -f "$icon" ] && png_side "$icon")" = "$side" ]
done

# Story: the manual page is there and describes every command and option the tool's own help names.
man1=$root/usr/share/man/man1/sicherheit-db.1.gz
check "manual page installed" [ -f "$man1" ]
page=$(zcat "$man1" 2>/dev/null)
usage=$("$tool" --help 2>&1)
words=$( (grep -o 'sicherheit-db [a-z]\+' <<<"$usage" | cut -d' ' -f2; grep -o -- '--[a-z]\+' <<<"$usage";
          echo --version) | sort -u)
check "the tool's help names its commands and options" [ "$(wc -w <<<"$words")" -ge 10 ]
for word in $words; do
    check "manual page describes $word" grep -q -- "${word//-/\\\\-}" <<<"$page"
done
if command -v man >/dev/null; then
    check "manual page renders" bash -c "MANWIDTH=80 man -l '$man1' 2>/dev/null | grep -q sicherheit-db"
fi

check "the program has a manual page too" [ -f "$root/usr/share/man/man1/sicherheit.1.gz" ]

# Story: a Debian maintainer's checker finds nothing to fix.
if command -v lintian >/dev/null; then
    check "lintian reports no error or warning" lintian --fail-on error,warning "$deb"
fi

finish
echo "package $(basename "$deb") checked"
