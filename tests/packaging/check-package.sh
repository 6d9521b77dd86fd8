#!/usr/bin/env bash
# Builds the .deb files of a build tree and checks what they hold and depend on.
set -euo pipefail
build="$1"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
program=$(ls "$out"/sqlbackup_*.deb)
simulator=$(ls "$out"/sqlbackup-sqlsim_*.deb)
fail() { echo "FAIL: $*"; exit 1; }

files=$(dpkg-deb -c "$program" | awk '{print $6}')
for f in ./usr/bin/sqlbackup ./usr/share/applications/sqlbackup.desktop \
         ./usr/share/icons/hicolor/32x32/apps/sqlbackup.png ./usr/share/icons/hicolor/16x16/apps/sqlbackup.png; do
  grep -qx "$f" <<<"$files" || fail "$program lacks $f"
done
grep -q sqlsim <<<"$files" && fail "the program package carries the simulator"
dpkg-deb -c "$simulator" | awk '{print $6}' | grep -qx ./usr/bin/sqlsim || fail "$simulator lacks sqlsim"

depends=$(dpkg-deb -f "$program" Depends)
for d in libqt6widgets6 unixodbc tdsodbc fonts-wqy-zenhei qt6-translations-l10n; do
  grep -q "$d" <<<"$depends" || fail "Depends lacks $d: $depends"
done
for d in -dev cmake ninja-build build-essential; do
  grep -q -- "$d" <<<"$depends" && fail "Depends names a build-only package ($d): $depends"
done
desktop=$(mktemp)
dpkg-deb --fsys-tarfile "$program" | tar -xO ./usr/share/applications/sqlbackup.desktop >"$desktop"
grep -q '^Name\[zh_CN\]=' "$desktop" || fail "no Chinese name in the desktop entry"
grep -q '^Categories=.*Database' "$desktop" || fail "desktop entry is not in the Database category"
rm -f "$desktop"
echo "1 passed, 0 failed"
