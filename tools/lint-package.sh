#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package (tools/package.sh) and has Debian's own tools judge it: lintian on the
# .deb, appstreamcli on its AppStream metainfo, desktop-file-validate on its menu entry. Fails on
# any error, and on any lintian warning.
set -euo pipefail
cd "$(dirname "$0")/.."
deb="$(tools/package.sh | tail -n1)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work"
failed=0

echo "== lintian $(basename "$deb")"
# --fail-on warning: errors and warnings fail; information tags are shown only.
lintian --allow-root --fail-on error,warning --display-info "$deb" || failed=1

for metainfo in "$work"/usr/share/metainfo/*.metainfo.xml; do
  echo "== appstreamcli validate $(basename "$metainfo")"
  # No network here: the screenshot and home page addresses are not fetched.
  appstreamcli validate --no-net --explain "$metainfo" || failed=1
done

for desktop in "$work"/usr/share/applications/*.desktop; do
  echo "== desktop-file-validate $(basename "$desktop")"
  desktop-file-validate "$desktop" || failed=1
done

[ "$failed" -eq 0 ] && echo "package: lintian, appstreamcli and desktop-file-validate passed"
exit "$failed"
