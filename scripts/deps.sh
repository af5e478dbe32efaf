#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those that are missing.
set -euo pipefail
pkgs=(cmake g++ ninja-build pkg-config qt6-base-dev libgl-dev libsqlcipher-dev sqlcipher libpq-dev
      libssl-dev qt6-qpa-plugins qt6-translations-l10n fonts-dejavu-core fonts-liberation)
# What only the tests need: --test adds it (the tests start a PostgreSQL server of their own, and an X server
# with a D-Bus session and the accessibility bus for the screen-reader check).
if [ "${1:-}" = "--test" ]; then
    pkgs+=(lintian postgresql-15 openssl poppler-utils xvfb dbus at-spi2-core python3 python3-pyatspi
           gir1.2-atspi-2.0)
fi
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "Fehlende Pakete: ${missing[*]} (bitte als root installieren)" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
