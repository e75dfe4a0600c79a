#!/usr/bin/env bash
# Pictures of the three pages after a "GET Sales" run on the demo database,
# taken from a real window under Xvfb. Usage: tools/screenshots.sh [output folder]
# KELVORA_BUILD_DIR names another build folder than build/.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs}"
build="${KELVORA_BUILD_DIR:-build}"
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target kelvora-screenshots kelvora-demo-db
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$build"/tools/demo_db/kelvora-demo-db "$work/KELVORA_DEMO.FDB" --ini "$work/Kelvora.ini" >/dev/null
xvfb-run -a -s "-screen 0 1024x768x24" "$build"/tools/screenshots/kelvora-screenshots "$work" "$out"
echo "pictures in $out/"
