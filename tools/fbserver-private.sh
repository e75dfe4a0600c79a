#!/usr/bin/env bash
# A Firebird server of its own, for tests that kill, stop or restart it
# without disturbing the shared test server of tools/fbserver.sh: its own
# root folder (firebird.conf with its port, loopback only), its own security
# database, its own lock folder, all under DIR.
#
#   tools/fbserver-private.sh prepare DIR PORT   lay out DIR: config, security database with
#                                                SYSDBA's password "orchardly"
#   tools/fbserver-private.sh run DIR            run the prepared server in the foreground; the
#                                                server replaces this shell, so the caller's
#                                                process id is the server's
#   tools/fbserver-private.sh start DIR PORT     prepare when needed, start in the background,
#                                                wait for the port; pid in DIR/firebird.pid
#   tools/fbserver-private.sh stop DIR           stop the server that start began
#
# Needs no root: the lock folder and the security database are private.
set -euo pipefail

SERVER=/usr/sbin/firebird
PASSWORD=orchardly
WAIT_SECONDS=30

say() { echo "fbserver-private: $*" >&2; }
usage() { sed -n '7,15p' "$0" >&2; exit 2; }

# The installed server's own folder: plugins, messages, character sets.
install_root() {
  local d
  for d in /usr/lib/*/firebird/3.0 /usr/lib/firebird/3.0 /opt/firebird; do
    if [[ -f $d/plugins/libEngine12.so ]]; then
      echo "$d"
      return 0
    fi
  done
  return 1
}

port_open() {
  timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1" 2>/dev/null
}

prepare() {
  local dir=$1 port=$2
  [[ $port =~ ^[0-9]+$ ]] || { say "bad port '$port'"; exit 2; }
  [[ -x $SERVER ]] || { say "$SERVER not found (Debian package firebird3.0-server)"; exit 1; }
  command -v isql-fb >/dev/null || { say "isql-fb not found (Debian package firebird3.0-utils)"; exit 1; }
  local base
  base=$(install_root) || { say "no Firebird 3.0 installation found"; exit 1; }
  mkdir -p "$dir/root" "$dir/lock"
  dir=$(cd "$dir" && pwd)
  local f
  for f in plugins intl firebird.msg plugins.conf; do
    [[ -e $base/$f ]] && ln -sfn "$base/$f" "$dir/root/$f"
  done
  : >"$dir/root/databases.conf"
  cat >"$dir/root/firebird.conf" <<EOF
RemoteServicePort = $port
RemoteBindAddress = 127.0.0.1
SecurityDatabase = $dir/security3.fdb
UdfAccess = None
EOF
  echo "$port" >"$dir/port"
  if [[ ! -f $dir/security3.fdb ]]; then
    # Through the embedded engine, with the private root and lock folder.
    FIREBIRD=$dir/root FIREBIRD_LOCK=$dir/lock timeout 60 isql-fb -q >/dev/null <<EOF
create database '$dir/security3.fdb' user 'SYSDBA';
create or alter user SYSDBA password '$PASSWORD' using plugin Srp;
commit;
EOF
  fi
}

run() {
  local dir
  dir=$(cd "$1" && pwd)
  [[ -f $dir/root/firebird.conf && -f $dir/security3.fdb ]] || { say "$dir is not prepared"; exit 1; }
  export FIREBIRD=$dir/root FIREBIRD_LOCK=$dir/lock
  exec "$SERVER"
}

our_pid() {
  local pid_file=$1/firebird.pid pid
  [[ -f $pid_file ]] || return 1
  pid=$(cat "$pid_file")
  [[ $pid =~ ^[0-9]+$ ]] && kill -0 "$pid" 2>/dev/null && echo "$pid"
}

start() {
  local dir=$1 port=$2
  prepare "$dir" "$port"
  dir=$(cd "$dir" && pwd)
  if port_open "$port"; then
    our_pid "$dir" >/dev/null && return 0
    say "port $port is taken by another program"
    exit 1
  fi
  # The child writes its own pid, then becomes the server.
  setsid -f bash -c 'echo $$ >"$1/firebird.pid"; exec "$2" run "$1"' _ "$dir" "$(cd "$(dirname "$0")" && pwd)/$(basename "$0")" \
    </dev/null >"$dir/firebird.out" 2>&1
  local i
  for ((i = 0; i < WAIT_SECONDS * 10; i++)); do
    port_open "$port" && return 0
    sleep 0.1
  done
  say "server did not open port $port within ${WAIT_SECONDS}s; see $dir/firebird.out"
  stop "$dir"
  exit 1
}

stop() {
  local dir=$1 pid i
  pid=$(our_pid "$dir") || { rm -f "$dir/firebird.pid"; return 0; }
  kill -TERM "$pid" 2>/dev/null || true
  for ((i = 0; i < 100; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  rm -f "$dir/firebird.pid"
}

case "${1:-}" in
  prepare) [[ $# -eq 3 ]] || usage; prepare "$2" "$3" ;;
  run) [[ $# -eq 2 ]] || usage; run "$2" ;;
  start) [[ $# -eq 3 ]] || usage; start "$2" "$3" ;;
  stop) [[ $# -eq 2 ]] || usage; stop "$2" ;;
  *) usage ;;
esac
