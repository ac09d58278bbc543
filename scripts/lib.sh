# Shared helpers for the scripts in this folder. Source it, do not run it.
# shellcheck shell=bash

TESSERA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TESSERA_BUILD=${TESSERA_BUILD_DIR:-$TESSERA_ROOT/build}
# The build with AddressSanitizer and UndefinedBehaviorSanitizer, beside it.
TESSERA_SANITIZE_BUILD=${TESSERA_SANITIZE_BUILD_DIR:-$TESSERA_BUILD-asan}

# Messages carry the script's name so that nested calls stay readable.
say() { printf '%s: %s\n' "${0##*/}" "$*" >&2; }
die() { say "$*"; exit 1; }

# Installs missing Debian packages; a quick no-op when everything is there.
tessera_setup() {
  bash "$TESSERA_ROOT/scripts/setup"
}

# Configures folder $1 once with the cmake options after it, then builds
# incrementally: every target, or only those in BUILD_TARGETS. A folder
# configured with another generator keeps it, since cmake refuses to switch
# generators in place.
build_folder() {
  local dir=$1
  shift
  if [[ ! -f $dir/build.ninja ]]; then
    if [[ -f $dir/CMakeCache.txt ]]; then
      cmake -S "$TESSERA_ROOT" -B "$dir" "$@"
    else
      cmake -S "$TESSERA_ROOT" -B "$dir" -G Ninja "$@"
    fi
  fi
  if [[ -n ${BUILD_TARGETS:-} ]]; then
    # shellcheck disable=SC2086  # a list of target names
    cmake --build "$dir" --target $BUILD_TARGETS
  else
    cmake --build "$dir"
  fi
}

tessera_build() {
  build_folder "$TESSERA_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo
}

# Only the named targets of the normal build, e.g. tessera_build_only tessera tessera-demo.
tessera_build_only() {
  BUILD_TARGETS="$*" tessera_build
}

# Unoptimised, so that CI also runs the tests of code built without inlining.
tessera_build_sanitized() {
  build_folder "$TESSERA_SANITIZE_BUILD" -DCMAKE_BUILD_TYPE=Debug -DTESSERA_SANITIZE=ON
}

# For the programs of the sanitized build: any finding ends the program with a
# report and a failing exit status. Leaks count too, except the one-time
# allocations of Qt, the ODBC driver manager and its drivers listed in
# tests/sanitizers/lsan.supp.
tessera_sanitizer_options() {
  export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
  export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
  export LSAN_OPTIONS=suppressions=$TESSERA_ROOT/tests/sanitizers/lsan.supp:print_suppressions=0
}

# Starts a pair of throwaway database servers of this script's own (so that it
# neither uses nor stops a pair somebody else started), sets the TESSERA_TEST_*
# variables, and stops them again however the script ends.
tessera_own_servers() {
  TESSERA_TEST_SERVERS_STATE=$(mktemp -d "${TMPDIR:-/tmp}/tessera-run.XXXXXX")
  export TESSERA_TEST_SERVERS_STATE
  trap tessera_stop_own_servers EXIT
  # Signals become an ordinary exit, so that the EXIT trap runs.
  trap 'exit 130' INT
  trap 'exit 143' TERM
  "$TESSERA_ROOT/scripts/test-servers" start
  # shellcheck source=/dev/null
  source "$("$TESSERA_ROOT/scripts/test-servers" env)"
}

# shellcheck disable=SC2317  # called through the trap
tessera_stop_own_servers() {
  local status=$?
  if "$TESSERA_ROOT/scripts/test-servers" stop; then
    rm -rf -- "$TESSERA_TEST_SERVERS_STATE"
  else
    say "could not stop the test servers; see TESSERA_TEST_SERVERS_STATE=$TESSERA_TEST_SERVERS_STATE scripts/test-servers status"
  fi
  exit "$status"
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
