#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the .deb files of a build tree and checks them as Debian would: what they hold and
# depend on, lintian, the AppStream listing, the manual pages against the programs, the
# licence and the changelog.
# usage: check-package.sh BUILD_DIR SQLSIM SOURCE_DIR
set -euo pipefail
build="$1" sqlsim="$2" source="$3"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
for tool in lintian appstreamcli dpkg-parsechangelog groff; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/setup-deps installs it)"; exit 1; }
done

(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
program=$(ls "$out"/sqlbackup_*.deb)
simulator=$(ls "$out"/sqlbackup-sqlsim_*.deb)
version=$(dpkg-deb -f "$program" Version)
root="$out/root"
mkdir "$root"
for deb in "$program" "$simulator"; do dpkg-deb -x "$deb" "$root"; done

# --- contents and dependencies
files=$(dpkg-deb -c "$program" | awk '{print $6}')
for f in ./usr/bin/sqlbackup ./usr/share/applications/sqlbackup.desktop \
         ./usr/share/icons/hicolor/32x32/apps/sqlbackup.png ./usr/share/icons/hicolor/16x16/apps/sqlbackup.png \
         ./usr/share/man/man1/sqlbackup.1.gz ./usr/share/metainfo/org.example.sqlbackup.metainfo.xml \
         ./usr/share/doc/sqlbackup/copyright ./usr/share/doc/sqlbackup/changelog.gz; do
  grep -qx "$f" <<<"$files" || fail "$(basename "$program") lacks $f"
done
grep -q sqlsim <<<"$files" && fail "the program package carries the simulator"
sim_files=$(dpkg-deb -c "$simulator" | awk '{print $6}')
for f in ./usr/bin/sqlsim ./usr/share/man/man1/sqlsim.1.gz \
         ./usr/share/doc/sqlbackup-sqlsim/copyright ./usr/share/doc/sqlbackup-sqlsim/changelog.gz; do
  grep -qx "$f" <<<"$sim_files" || fail "$(basename "$simulator") lacks $f"
done

depends=$(dpkg-deb -f "$program" Depends)
for d in libqt6widgets6 unixodbc tdsodbc fonts-wqy-zenhei qt6-translations-l10n; do
  grep -q "$d" <<<"$depends" || fail "Depends lacks $d: $depends"
done
for d in -dev cmake ninja-build build-essential; do
  grep -q -- "$d" <<<"$depends" && fail "Depends names a build-only package ($d): $depends"
done
desktop="$root/usr/share/applications/sqlbackup.desktop"
grep -q '^Name\[zh_CN\]=' "$desktop" || fail "no Chinese name in the desktop entry"
grep -q '^Categories=.*Database' "$desktop" || fail "desktop entry is not in the Database category"

# --- lintian: no error and no warning; what is overridden is overridden inside the package,
# with its reason beside it.
lintian_out=$(lintian --no-cfg --fail-on error,warning "$program" "$simulator" 2>&1) ||
  fail "lintian found errors or warnings"
grep -E '^[EW]: ' <<<"$lintian_out" && fail "lintian reports the tags above"

# --- debug information: split off into .ddeb files that match the stripped binaries
for pair in "sqlbackup:usr/bin/sqlbackup" "sqlbackup-sqlsim:usr/bin/sqlsim"; do
  package=${pair%%:*} binary=$root/${pair#*:}
  ddeb="$out/${package}-dbgsym_${version}_$(dpkg-deb -f "$program" Architecture).ddeb"
  [ -f "$ddeb" ] || { fail "no $(basename "$ddeb")"; continue; }
  id=$(readelf -n "$binary" | awk '/Build ID/ {print $3}')
  [ "$(dpkg-deb -f "$ddeb" Build-Ids)" = "$id" ] || fail "$(basename "$ddeb") is not for the packaged $binary"
  dpkg-deb -c "$ddeb" | grep -q "/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug" ||
    fail "$(basename "$ddeb") lacks the debug file of build id $id"
done

# --- AppStream listing (without --no-net the validator reaches for the network)
metainfo="$root/usr/share/metainfo/org.example.sqlbackup.metainfo.xml"
appstreamcli validate --no-net --pedantic "$metainfo" >"$out/appstream.txt" 2>&1 ||
  { cat "$out/appstream.txt"; fail "appstreamcli rejects the metainfo"; }
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo lacks the release $version"
for name in "$(sed -n 's/^Name=//p' "$desktop")" "$(sed -n 's/^Name\[zh_CN\]=//p' "$desktop")"; do
  grep -qF ">$name</name>" "$metainfo" || fail "the metainfo does not name the program \"$name\""
done

# --- sqlsim.1 lists the options exactly as sqlsim --help prints them, and no others
squeeze() { tr -s ' \n' '  '; }
page=$(zcat "$root/usr/share/man/man1/sqlsim.1.gz" | groff -man -Tascii -rLL=3000n -rHY=0 -P-cbou 2>/dev/null)
page_flat=$(squeeze <<<"$page")
help_entries=$("$sqlsim" --help | awk '/^  -/ { if (e) print e; e = $0; next } /^    / { e = e " " $0 } END { print e }')
while IFS= read -r entry; do
  flat=$(squeeze <<<"$entry" | sed 's/^ //; s/ $//')
  grep -qF -- "$flat" <<<"$page_flat" || fail "sqlsim.1 does not say, as --help does: $flat"
done <<<"$help_entries"
help_names=$(awk '{print $1}' <<<"$help_entries" | sort)
page_names=$(sed -n '/^OPTIONS/,/^[A-Z]/p' <<<"$page" | grep -oE '^       --[a-z0-9-]+' | tr -d ' ' | sort)
[ "$help_names" = "$page_names" ] || fail "sqlsim.1 lists the options $(echo $page_names), --help $(echo $help_names)"
zcat "$root/usr/share/man/man1/sqlbackup.1.gz" | groff -man -Tascii -P-cbou 2>/dev/null | grep -q '^NAME' ||
  fail "sqlbackup.1 does not render"

# --- licence and release history
license="$source/LICENSE"
holder=$(sed -n 's/^Copyright (c) //p' "$license")
for package in sqlbackup sqlbackup-sqlsim; do
  copyright="$root/usr/share/doc/$package/copyright"
  head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "$package: the copyright file is not machine-readable format 1.0"
  grep -qx "Copyright: $holder" "$copyright" || fail "$package: the copyright holder is not \"$holder\" as in LICENSE"
  # The licence text of the copyright file, unindented, is the text of LICENSE after its copyright line.
  diff <(awk '/^License: MIT$/ {text = ""; next} {text = text $0 "\n"} END {printf "%s", text}' "$copyright" |
         sed 's/^ //; s/^\.$//') \
       <(sed '1,/^Copyright (c)/d' "$license" | sed '/./,$!d') >/dev/null ||
    fail "$package: the licence text differs from LICENSE"
  changelog_version=$(dpkg-parsechangelog -l "$root/usr/share/doc/$package/changelog.gz" -S Version 2>/dev/null || true)
  [ "$changelog_version" = "$version" ] || fail "$package: the changelog's newest version is '$changelog_version', the package's $version"
done

# --- the READMEs name the files the build makes
for readme in README.md README.zh-CN.md; do
  for deb in "$program" "$simulator"; do
    grep -qF "$(basename "$deb")" "$source/$readme" || fail "$readme does not name $(basename "$deb")"
  done
done

if [ "$failures" -ne 0 ]; then
  echo "$lintian_out"
  echo "0 passed, $failures failed"
  exit 1
fi
echo "1 passed, 0 failed"
