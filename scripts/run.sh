#!/usr/bin/env bash
# Installs what is missing, builds, makes a sample shop database where the
# program looks for one (never over an existing file) and starts the program.
# Without a display it runs the window on a virtual display, saves a
# screenshot of it and says where.
set -euo pipefail
cd "$(dirname "$0")/.."
headless=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then headless=1; fi
if [ $headless -eq 1 ]; then
  bash scripts/deps.sh xvfb xauth imagemagick
else
  bash scripts/deps.sh
fi
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target purge-database make-sample-db

drive_c=${KESTROVA_DRIVE_C:-${XDG_DATA_HOME:-$HOME/.local/share}/kestrova/drive_c}
db="$drive_c/kestrova/kestrova.mdb"
if [ -e "$db" ]; then
  echo "Using the database already at $db"
else
  mkdir -p "$(dirname "$db")"
  "$build/make-sample-db" "$db"
  echo "Made a sample database at $db"
fi

if [ $headless -eq 0 ]; then
  exec "$build/purge-database"
fi

echo "No display here: running the window on a virtual display (Xvfb) for a screenshot."
shot="$PWD/out/purge-database.png"
mkdir -p "$(dirname "$shot")"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$1" & pid=$!
  sleep 3
  import -window root "$2"
  kill $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
' _ "$PWD/$build/purge-database" "$shot"
echo "Screenshot of the main window: $shot"
