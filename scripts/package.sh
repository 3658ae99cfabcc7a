#!/usr/bin/env bash
# Builds the Debian package purge-database_<version>-<revision>_<arch>.deb
# (and its -dbgsym package) from a clean copy of the tree, in build-package/.
# Usage: scripts/package.sh     The last line printed is the .deb's path.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --packaging

out=${PACKAGE_DIR:-build-package}
version=$(dpkg-parsechangelog -S Version)
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
src="$out/purge-database-${version%-*}"
rm -rf "$out"
mkdir -p "$src"

# The files of the tree, never a build folder or what a run left behind.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z --cached --others --exclude-standard |
    tar --null --files-from=- --ignore-failed-read -cf - | tar -xf - -C "$src"
else
  tar --exclude='./build*' --exclude=./out --exclude=./.git -cf - . | tar -xf - -C "$src"
fi

export DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}"
if command -v ccache >/dev/null; then export KESTROVA_CMAKE_ARGS=-DCMAKE_CXX_COMPILER_LAUNCHER=ccache; fi
(cd "$src" && dpkg-buildpackage -us -uc -b) >"$out/build.log" 2>&1 || {
  tail -n 40 "$out/build.log"
  echo "package.sh: the package build failed; the whole log is $out/build.log" >&2
  exit 1
}
deb="$out/purge-database_${version}_${arch}.deb"
[ -f "$deb" ] || { echo "package.sh: $deb was not made" >&2; exit 1; }
echo "$PWD/$deb"
