#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs a built tree into a temporary prefix and checks what a desktop user gets: the program,
# its menu entry and AppStream metainfo, its icons, its compressed manual page, its copyright
# file and changelog, and that the manual page lists exactly the options "kelvane --help" prints.
# Then builds the Debian package and checks its control data.
#
#   check-install.sh BUILD_DIR SOURCE_DIR ICON_SIZE...
set -euo pipefail
build="$1" source="$2"
shift 2
sizes=("$@")

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/usr"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >/dev/null

expected=(bin/kelvane share/applications/kelvane.desktop share/man/man1/kelvane.1.gz
  share/metainfo/invalid.kelvane.Kelvane.metainfo.xml share/doc/kelvane/copyright
  share/doc/kelvane/changelog.gz)
for size in "${sizes[@]}"; do expected+=("share/icons/hicolor/${size}x${size}/apps/kelvane.png"); done
for file in "${expected[@]}"; do
  [ -s "$prefix/$file" ] || fail "$file is not installed"
done
[ -x "$prefix/bin/kelvane" ] || fail "bin/kelvane is not executable"

# A PNG's width and height are the big-endian words at bytes 16 and 20.
for size in "${sizes[@]}"; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/kelvane.png"
  [ -s "$png" ] || continue
  signature="$(od -An -tx1 -N8 "$png" | tr -d ' \n')"
  [ "$signature" = 89504e470d0a1a0a ] || fail "$png is not a PNG file"
  read -r width height < <(od -An -tu4 --endian=big -j16 -N8 "$png")
  [ "$width" = "$size" ] && [ "$height" = "$size" ] ||
    fail "$png is ${width}x${height}, not ${size}x${size}"
done

desktop="$prefix/share/applications/kelvane.desktop"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "kelvane.desktop does not validate"
else
  echo "note: desktop-file-validate is missing; kelvane.desktop was not validated"
fi
grep -qx 'Categories=AudioVideo;Audio;Midi;' "$desktop" || fail "kelvane.desktop: wrong Categories"
grep -qx 'Exec=kelvane' "$desktop" || fail "kelvane.desktop: wrong Exec"
grep -qx 'Icon=kelvane' "$desktop" || fail "kelvane.desktop: wrong Icon"

metainfo="$prefix/share/metainfo/invalid.kelvane.Kelvane.metainfo.xml"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 ||
    { cat "$work/appstream.log" >&2; fail "the AppStream metainfo does not validate"; }
fi
grep -q '<launchable type="desktop-id">kelvane.desktop</launchable>' "$metainfo" ||
  fail "the metainfo does not name kelvane.desktop"

copyright="$prefix/share/doc/kelvane/copyright"
grep -q '^License: GPL-3.0-or-later$' "$copyright" || fail "copyright does not name GPL-3.0-or-later"

# Kept compressed; read uncompressed from here on.
man="$work/kelvane.1"
gzip -dc "$prefix/share/man/man1/kelvane.1.gz" >"$man" || fail "kelvane.1.gz is no gzip file"
if command -v groff >/dev/null; then
  warnings="$(groff -man -t -ww -z "$man" 2>&1)"
  [ -z "$warnings" ] || fail "groff warns about kelvane.1: $warnings"
fi
for heading in NAME SYNOPSIS DESCRIPTION OPTIONS FILES KEYBOARD ENVIRONMENT; do
  grep -qx "\.SH $heading" "$man" || fail "kelvane.1 has no $heading section"
done
for word in JACK_DEFAULT_SERVER QT_QPA_PLATFORM XDG_CONFIG_HOME brimot/kelvane.ini readme.txt; do
  grep -q "$word" "$man" || fail "kelvane.1 does not mention $word"
done

# The manual page and the help text name the same long options and the same MIDI services.
export XDG_CONFIG_HOME="$work/config"
help="$("$prefix/bin/kelvane" --help 2>/dev/null)" || fail "kelvane --help failed"
help_options="$(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u)"
man_options="$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$man" | sed 's/\\-/-/g' |
  grep -o -- '--[a-z][a-z-]*' | sort -u)"
[ "$help_options" = "$man_options" ] ||
  fail "options differ: help has [$(echo $help_options)], kelvane.1 has [$(echo $man_options)]"
grep -q -- "$XDG_CONFIG_HOME/brimot/kelvane.ini" <<<"$help" ||
  fail "kelvane --help does not name \$XDG_CONFIG_HOME/brimot/kelvane.ini"
services="$(tr -s ' \n' ' ' <<<"$help" | sed -n 's/.*MIDI service NAME (\([^)]*\)).*/\1/p' |
  tr -d ' ' | tr ',' '\n')"
[ -n "$services" ] || fail "kelvane --help lists no MIDI services"
for service in $services; do
  sed -n '/^\.BI \\-\\-midi/,/^\.TP/p' "$man" | sed 's/\\-/-/g' | grep -q "^\.BR\? $service\b" ||
    fail "kelvane.1 does not describe the MIDI service $service"
done
version="$("$prefix/bin/kelvane" --version 2>/dev/null | head -n1 | awk '{print $2}')"
grep -q "\"Kelvane $version\"" "$man" || fail "kelvane.1 is not for version $version"
gzip -dc "$prefix/share/doc/kelvane/changelog.gz" | head -n1 | grep -q "^kelvane ($version) " ||
  fail "the changelog's first entry is not for version $version"

# The Debian package, built into its own folder so a package made by tools/package.sh stays.
if command -v dpkg-shlibdeps >/dev/null && command -v dpkg-deb >/dev/null; then
  (cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log" >&2; fail "cpack could not build the .deb"; }
  deb="$(ls "$work"/deb/kelvane_*.deb 2>/dev/null | head -n1)"
  if [ -n "$deb" ]; then
    field() { dpkg-deb -f "$deb" "$1"; }
    [ "$(field Package)" = kelvane ] || fail ".deb: Package is $(field Package)"
    [ "$(field Section)" = sound ] || fail ".deb: Section is $(field Section)"
    # Name <address>, on the reserved .invalid domain until there is a real reports address.
    [[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^@\>]+\.invalid\>$ ]] ||
      fail ".deb: Maintainer $(field Maintainer)"
    depends="$(field Depends)"
    for lib in libqt6widgets6 libqt6gui6 librtmidi libc6; do
      grep -q "$lib" <<<"$depends" || fail ".deb: Depends lacks $lib: $depends"
    done
    contents="$(dpkg-deb -c "$deb")"
    for file in "${expected[@]}"; do
      grep -q "\./usr/$file\$" <<<"$contents" || fail ".deb does not hold /usr/$file"
    done
  else
    fail "cpack made no .deb"
  fi
else
  echo "note: dpkg-dev is missing; the .deb was not built"
fi

[ "$failures" -eq 0 ] && echo "packaging: all checks passed"
exit $((failures > 0))
