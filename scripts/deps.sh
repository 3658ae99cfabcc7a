#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
# Usage: scripts/deps.sh [--packaging] [extra-package ...]
#   --packaging adds what building and checking the Debian package needs.
set -euo pipefail
need=(g++ cmake qt6-base-dev qt6-base-private-dev libsqlite3-dev googletest libgtest-dev python3)
packaging=(dpkg-dev debhelper lintian desktop-file-utils appstream man-db groff-base file systemd)
for a in "$@"; do
  if [ "$a" = --packaging ]; then need+=("${packaging[@]}"); else need+=("$a"); fi
done
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
