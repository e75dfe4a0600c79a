#!/usr/bin/env bash
# Runs every test executable of the suite once under valgrind's memcheck and
# prints a verdict per executable. Slow (each test runs 20 to 50 times
# slower), so not part of the test command or CI.
#
#   tools/valgrind.sh                 the whole suite
#   tools/valgrind.sh REGEX           only the tests whose name matches
#   KELVORA_VALGRIND_BUILD=DIR        build folder (default build-valgrind)
#   KELVORA_VALGRIND_JOBS=N           tests at once (default 2)
#
# Builds build-valgrind/ (or $KELVORA_VALGRIND_BUILD) without sanitizers,
# starts the shared test server when it is not running (and stops it again
# at the end), and writes per test its valgrind log (NAME.log) and its own
# output (NAME.out) to <build>/valgrind/. Suppressions
# for the known noise of third-party libraries: tools/valgrind.supp.
# Exits 0 when no executable had a memcheck error or failed.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v valgrind >/dev/null || { echo "valgrind: Debian package valgrind" >&2; exit 1; }
command -v python3 >/dev/null || { echo "python3: Debian package python3" >&2; exit 1; }

build=${KELVORA_VALGRIND_BUILD:-build-valgrind}
jobs=${KELVORA_VALGRIND_JOBS:-2}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVORA_SANITIZE=OFF -DKELVORA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$jobs"

# KELVORA_VALGRIND_SERVER=none leaves the shared server alone (for a machine
# where other test runs use it): the server tests then run only when it
# answers, and are skipped otherwise.
export QT_QPA_PLATFORM=offscreen
if [ "${KELVORA_VALGRIND_SERVER:-auto}" != none ]; then
  if ! tools/fbserver.sh status; then
    tools/fbserver.sh start
    trap 'tools/fbserver.sh stop' EXIT
  fi
  export KELVORA_TEST_SERVER=1
fi

python3 - "$build" "$PWD/tools/valgrind.supp" "$jobs" "${1:-}" <<'EOF'
import concurrent.futures, json, os, re, subprocess, sys, time

build, supp, jobs, pattern = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
logdir = os.path.abspath(os.path.join(build, "valgrind"))
os.makedirs(logdir, exist_ok=True)
info = json.loads(subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1"],
                                 check=True, capture_output=True, text=True).stdout)

def props(test):
    return {p["name"]: p["value"] for p in test.get("properties", [])}

def run(test):
    name, p = test["name"], props(test)
    log = os.path.join(logdir, name + ".log")
    env = dict(os.environ)
    for item in p.get("ENVIRONMENT", []):
        key, _, value = item.partition("=")
        env[key] = value
    cmd = ["valgrind", "--tool=memcheck", "--error-exitcode=1", "--suppressions=" + supp,
           "--gen-suppressions=all", "--num-callers=40", "--leak-check=full",
           "--show-leak-kinds=definite", "--errors-for-leak-kinds=definite",
           "--child-silent-after-fork=yes", "--log-file=" + log] + test["command"]
    # Under valgrind a test takes many times its usual time.
    limit = min(3600, 30 * int(float(p.get("TIMEOUT", 120))))
    start = time.time()
    try:
        with open(os.path.join(logdir, name + ".out"), "w") as out:
            rc = subprocess.run(cmd, env=env, cwd=p.get("WORKING_DIRECTORY", build), stdin=subprocess.DEVNULL,
                                stdout=out, stderr=subprocess.STDOUT, timeout=limit).returncode
    except subprocess.TimeoutExpired:
        rc = None
    seconds = time.time() - start
    text = open(log, errors="replace").read() if os.path.exists(log) else ""
    summary = re.findall(r"ERROR SUMMARY: (\d+) errors", text)
    errors = int(summary[-1]) if summary else None
    if rc is None:
        verdict = "TIMEOUT"
    elif errors:
        verdict = "MEMCHECK %d errors" % errors
    elif rc == int(p.get("SKIP_RETURN_CODE", -1)):
        verdict = "skipped"
    elif rc != 0 or errors is None:
        verdict = "FAILED (exit %s)" % rc
    else:
        verdict = "clean"
    return name, verdict, seconds

tests = [t for t in info["tests"] if not pattern or re.search(pattern, t["name"])]
results = {}
with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
    for name, verdict, seconds in pool.map(run, tests):
        results[name] = verdict
        print("%-34s %-22s %7.1f s" % (name, verdict, seconds), flush=True)
passed = sum(v == "clean" for v in results.values())
skipped = sum(v == "skipped" for v in results.values())
failed = len(results) - passed - skipped
print("logs in %s" % logdir)
print("valgrind: %d passed, %d failed, %d skipped" % (passed, failed, skipped))
sys.exit(1 if failed else 0)
EOF
