#!/usr/bin/env bash
# Starts and stops a Firebird server on loopback for the client-server tests.
#   tools/fbserver.sh start    start it (if not already up) and wait for port 3050
#   tools/fbserver.sh stop     stop the server this script started
#   tools/fbserver.sh status   exit 0 when the server answers on port 3050
# Runs as root. Sets SYSDBA's password to the one of the program's built-in
# connection parameters before the server starts.
set -euo pipefail

SERVER=/usr/sbin/firebird
CONF=/etc/firebird/3.0/firebird.conf
SECURITY_DB=/var/lib/firebird/3.0/system/security3.fdb
STATE_DIR=${KELVORA_FBSERVER_DIR:-/tmp/kelvora-fbserver}
PID_FILE=$STATE_DIR/firebird.pid
LOG_FILE=$STATE_DIR/firebird.out
PORT=3050
PASSWORD=orchardly
WAIT_SECONDS=30

say() { echo "fbserver: $*" >&2; }

port_open() {
  # bash's /dev/tcp: no extra tools needed; bounded by timeout.
  timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$PORT" 2>/dev/null
}

our_pid() {
  [[ -f $PID_FILE ]] || return 1
  local pid
  pid=$(cat "$PID_FILE")
  [[ $pid =~ ^[0-9]+$ ]] && kill -0 "$pid" 2>/dev/null && echo "$pid"
}

configure() {
  # Loopback only; idempotent: rewrite an existing setting or add one.
  if grep -Eq '^[[:space:]]*RemoteBindAddress[[:space:]]*=' "$CONF"; then
    if ! grep -Eq '^[[:space:]]*RemoteBindAddress[[:space:]]*=[[:space:]]*127\.0\.0\.1[[:space:]]*$' "$CONF"; then
      sed -i -E 's/^[[:space:]]*RemoteBindAddress[[:space:]]*=.*/RemoteBindAddress = 127.0.0.1/' "$CONF"
    fi
  else
    printf '\nRemoteBindAddress = 127.0.0.1\n' >>"$CONF"
  fi
  # The security database is opened through the embedded engine, so this runs
  # while no server holds it.
  timeout 60 isql-fb -q -user SYSDBA "$SECURITY_DB" >/dev/null <<EOF
create or alter user SYSDBA password '$PASSWORD' using plugin Srp;
commit;
EOF
}

start() {
  if port_open; then
    return 0
  fi
  [[ -x $SERVER ]] || { say "$SERVER not found (Debian package firebird3.0-server)"; exit 1; }
  [[ $(id -u) -eq 0 ]] || { say "must run as root"; exit 1; }
  mkdir -p "$STATE_DIR"
  configure
  setsid "$SERVER" </dev/null >"$LOG_FILE" 2>&1 &
  echo $! >"$PID_FILE"
  local i
  for ((i = 0; i < WAIT_SECONDS * 10; i++)); do
    if port_open; then
      return 0
    fi
    if ! our_pid >/dev/null; then
      say "server ended at start-up; see $LOG_FILE"
      rm -f "$PID_FILE"
      exit 1
    fi
    sleep 0.1
  done
  say "server did not open port $PORT within ${WAIT_SECONDS}s"
  stop
  exit 1
}

stop() {
  local pid
  if ! pid=$(our_pid); then
    rm -f "$PID_FILE"
    return 0
  fi
  kill -TERM "$pid" 2>/dev/null || true
  local i
  for ((i = 0; i < 100; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid" 2>/dev/null || true
    for ((i = 0; i < 50; i++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
  fi
  rm -f "$PID_FILE"
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  status) port_open ;;
  *) echo "usage: $0 start|stop|status" >&2; exit 2 ;;
esac
