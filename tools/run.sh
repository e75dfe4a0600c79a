#!/usr/bin/env bash
# Installs what the program needs, builds it, prepares the demo database and
# its settings file beside the executable (never overwriting either), and
# starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target Kelvora kelvora-demo-db
demo_dir="$PWD/build/app"
./build/tools/demo_db/kelvora-demo-db "$demo_dir/KELVORA_DEMO.FDB" --ini "$demo_dir/Kelvora.ini"
exec "$demo_dir/Kelvora"
