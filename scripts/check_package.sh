#!/usr/bin/env bash
# Builds the Debian package and checks it the way a shop's machine would meet
# it: lintian, the desktop entry, the AppStream metainfo, the manual page, the
# systemd units, the contents and control fields, and the program unpacked
# into a temporary root. Changes nothing on the machine for good. Any finding
# fails the run.
# Usage: scripts/check_package.sh [PACKAGE.deb]
#   KESTROVA_CHECK_VERSION=0 skips the one check that runs
#   `purge-database --version` (for a tree whose program lacks the option).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --packaging

deb=${1:-}
if [ -z "$deb" ]; then deb=$(bash scripts/package.sh | tail -n 1); fi
version=$(dpkg-parsechangelog -S Version)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }
# Runs a checker; any output, or a failing status, is a finding.
silent() {
  local what=$1
  shift
  local said
  if said=$("$@" 2>&1) && [ -z "$said" ]; then pass "$what"; else fail "$what"$'\n'"$said"; fi
}

root="$work/root"
dpkg-deb -x "$deb" "$root"
dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|; s|/$||' >"$work/contents"

# -- lintian, on the package and its debug symbols --------------------------
debs=("$deb")
dbgsym="$(dirname "$deb")/purge-database-dbgsym_${version}_$(dpkg-deb -f "$deb" Architecture).deb"
[ -f "$dbgsym" ] && debs+=("$dbgsym")
# As root (CI) lintian first says it would rather not run as root: not a finding.
lint() {
  local said status=0
  said=$(lintian --no-cfg --fail-on error,warning --tag-display-limit 0 "$@" 2>&1) || status=$?
  grep -v '^running with root privileges is not recommended!$' <<<"$said" || true
  return $status
}
silent "lintian" lint "${debs[@]}"

# -- files the package must hold --------------------------------------------
for f in /usr/bin/purge-database \
  /usr/share/applications/purge-database.desktop \
  /usr/share/icons/hicolor/32x32/apps/purge-database.png \
  /usr/share/icons/hicolor/48x48/apps/purge-database.png \
  /usr/share/icons/hicolor/128x128/apps/purge-database.png \
  /usr/share/icons/hicolor/scalable/apps/purge-database.svg \
  /usr/share/metainfo/com.kestrova.purgedatabase.metainfo.xml \
  /usr/share/man/man1/purge-database.1.gz \
  /usr/share/doc/purge-database/copyright \
  /usr/share/doc/purge-database/changelog.Debian.gz \
  /usr/share/doc/purge-database/examples/purge-database.service \
  /usr/share/doc/purge-database/examples/purge-database.timer; do
  grep -qxF "$f" "$work/contents" && pass "holds $f" || fail "the package lacks $f"
done
if grep -v -e '^/usr/bin' -e '^/usr/share' -e '^/usr$' -e '^/$' "$work/contents" | grep -q .; then
  fail "files outside /usr/bin and /usr/share: $(grep -v -e '^/usr/bin' -e '^/usr/share' -e '^/usr$' -e '^/$' "$work/contents" | tr '\n' ' ')"
fi
for s in 32 48 128; do
  size=$(file -b "$root/usr/share/icons/hicolor/${s}x${s}/apps/purge-database.png" | grep -o '[0-9]* x [0-9]*')
  [ "$size" = "$s x $s" ] && pass "icon ${s}px" || fail "the ${s}x${s} icon is $size"
done
if file -b "$root/usr/bin/purge-database" | grep -q 'not stripped'; then fail "the binary is not stripped"; else pass "stripped binary"; fi

# -- control fields ---------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = purge-database ] && pass "Package" || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] && pass "Version $version" || fail "Version is $(field Version)"
for lib in libqt6widgets6 libqt6core6 libsqlite3-0 libc6 qt6-qpa-plugins; do
  field Depends | grep -q "\b$lib\b" && pass "Depends on $lib" || fail "Depends lacks $lib: $(field Depends)"
done
[ "$(field Description | wc -l)" -ge 4 ] && pass "long description" || fail "no long description"
[ -n "$(field Maintainer)" ] && [ -n "$(field Homepage)" ] && pass "Maintainer, Homepage" ||
  fail "Maintainer or Homepage missing"

# -- desktop entry, metainfo, manual page -------------------------------------
silent "desktop-file-validate" desktop-file-validate "$root/usr/share/applications/purge-database.desktop"
grep -q '^Keywords=.' "$root/usr/share/applications/purge-database.desktop" && pass "Keywords=" ||
  fail "the desktop entry has no Keywords="
# --no-net: the homepage and screenshot addresses are not reachable from CI.
appstream_said=$(appstreamcli validate --pedantic --no-net --no-color \
  "$root/usr/share/metainfo/com.kestrova.purgedatabase.metainfo.xml" 2>&1) &&
  ! grep -q '^[EWI]:' <<<"$appstream_said" && pass "appstreamcli validate --pedantic" ||
  fail "appstreamcli validate --pedantic"$'\n'"$appstream_said"
grep -q "<release version=\"${version%-*}\"" "$root/usr/share/metainfo/"*.xml && pass "metainfo release ${version%-*}" ||
  fail "the metainfo has no release ${version%-*}"
man_page="$root/usr/share/man/man1/purge-database.1.gz"
silent "man --warnings" env LC_ALL=C.UTF-8 MANWIDTH=80 sh -c 'man --warnings -E UTF-8 -l "$1" >/dev/null' _ "$man_page"
silent "groff -wall" sh -c 'zcat "$1" | groff -wall -man -Tutf8 -z' _ "$man_page"

# -- systemd units ----------------------------------------------------------
# The service runs /usr/bin/purge-database, which this machine need not have:
# the copies checked point at the unpacked program instead.
if command -v systemd-analyze >/dev/null; then
  mkdir -p "$work/units"
  for u in service timer; do
    sed "s|/usr/bin/purge-database|$root/usr/bin/purge-database|" \
      "$root/usr/share/doc/purge-database/examples/purge-database.$u" >"$work/units/purge-database.$u"
  done
  silent "systemd-analyze verify" systemd-analyze verify --man=no \
    "$work/units/purge-database.timer" "$work/units/purge-database.service"
else
  echo "skipped: systemd-analyze verify (no systemd-analyze on this machine)"
fi

# -- install checks that leave the machine as it was ------------------------
silent "dpkg --dry-run -i" sh -c 'dpkg --dry-run -i "$1" >/dev/null' _ "$deb"
if [ "${KESTROVA_CHECK_VERSION:-1}" = 1 ]; then
  said=$(env -u LD_LIBRARY_PATH -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    timeout 20 "$root/usr/bin/purge-database" --version 2>&1) || true
  [ "$said" = "purge-database ${version%-*}" ] && pass "unpacked purge-database --version" ||
    fail "unpacked purge-database --version said: $said"
else
  echo "skipped: purge-database --version (KESTROVA_CHECK_VERSION=0)"
fi

if [ "$failures" -gt 0 ]; then
  echo "check_package.sh: $failures finding(s) in $deb" >&2
  exit 1
fi
echo "check_package.sh: $deb passed every check"
