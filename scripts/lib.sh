# Shared helpers for the scripts in this folder. Source it, do not run it.
# shellcheck shell=bash

TESSERA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TESSERA_BUILD=${TESSERA_BUILD_DIR:-$TESSERA_ROOT/build}

# Messages carry the script's name so that nested calls stay readable.
say() { printf '%s: %s\n' "${0##*/}" "$*" >&2; }
die() { say "$*"; exit 1; }

# Installs missing Debian packages; a quick no-op when everything is there.
tessera_setup() {
  bash "$TESSERA_ROOT/scripts/setup"
}

# Configures once, then builds incrementally. A build folder configured with
# another generator keeps it, since cmake refuses to switch generators in place.
tessera_build() {
  if [[ ! -f $TESSERA_BUILD/build.ninja ]]; then
    if [[ -f $TESSERA_BUILD/CMakeCache.txt ]]; then
      cmake -S "$TESSERA_ROOT" -B "$TESSERA_BUILD"
    else
      cmake -S "$TESSERA_ROOT" -B "$TESSERA_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    fi
  fi
  cmake --build "$TESSERA_BUILD"
}

# True while the process runs. A zombie counts as gone: the servers are not
# our children, and the reaper in a container may be slow or absent.
pid_alive() {
  local pid=$1 state
  [[ $pid =~ ^[0-9]+$ ]] || return 1
  [[ -r /proc/$pid/stat ]] || return 1
  state=$(sed -E 's/^.*\) ([A-Za-z]).*$/\1/' "/proc/$pid/stat" 2>/dev/null) || return 1
  [[ -n $state && $state != Z && $state != X ]]
}

# Waits up to $2 seconds for process $1 to end.
wait_gone() {
  local pid=$1 seconds=$2 i
  for ((i = 0; i < seconds * 10; i++)); do
    pid_alive "$pid" || return 0
    sleep 0.1
  done
  ! pid_alive "$pid"
}

# Ends process $1 politely (TERM, up to $2 seconds), then by force.
terminate_pid() {
  local pid=$1 seconds=${2:-30}
  pid_alive "$pid" || return 0
  kill -TERM "$pid" 2>/dev/null || true
  wait_gone "$pid" "$seconds" && return 0
  say "process $pid ignored TERM for ${seconds}s; killing it"
  kill -KILL "$pid" 2>/dev/null || true
  wait_gone "$pid" 10
}
