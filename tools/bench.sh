#!/usr/bin/env bash
# The benchmark in one command: installs what it needs, builds it (Release,
# build-bench/), makes its databases once (build-bench/bench-data/: 1,000,000
# payments with and without the index, and the demo database), then runs it
# and prints the figures. Options go to kelvora-bench, e.g.
#   tools/bench.sh --runs 21 --only get
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh run
# Start-up is timed on a private X server, watched through libxcb.
extra=()
for p in xvfb xauth libxcb1-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || extra+=("$p")
done
if [ ${#extra[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${extra[@]}" >/dev/null
fi

build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target kelvora-bench kelvora-bench-db kelvora-bench-window Kelvora kelvora-demo-db

data="$PWD/$build/bench-data"
mkdir -p "$data"
# Each database is made under a temporary name, so a broken run leaves none behind.
make_db() {
  local name="$1"; shift
  [ -f "$data/$name" ] && return 0
  rm -f "$data/$name.part"
  "$@" "$data/$name.part"
  mv "$data/$name.part" "$data/$name"
}
make_db bench-index.fdb "$build/bench/kelvora-bench-db"
make_db bench-noindex.fdb "$build/bench/kelvora-bench-db" --no-index
make_db demo.fdb "$build/tools/demo_db/kelvora-demo-db"

echo "load: $(uptime)"
"$build/bench/kelvora-bench" --data "$data" "$@"
