# Sourced by every script: strict mode, the repository's paths, the supported
# platforms (cmake/platforms.txt), set-up once per run, exit actions, and a
# robot simulator in the background. Leaves the shell in the repository root.
set -euo pipefail

VELMOR_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$VELMOR_ROOT"
export PATH="$HOME/.cargo/bin:$PATH"
VELMOR_CACHE="$HOME/.cache/velmorqrk"
# The cargo target folder that every checkout and build shares.
export VELMOR_CARGO_TARGET_DIR="${VELMOR_CARGO_TARGET_DIR:-$VELMOR_CACHE/cargo}"
export VELMOR_QEMU_DIR="${VELMOR_QEMU_DIR:-$VELMOR_CACHE/qemu}"
export VELMOR_ARM64_PYTHON="${VELMOR_ARM64_PYTHON:-$VELMOR_CACHE/python3.11-arm64}"
export VELMOR_ARM64_YAML_CPP="${VELMOR_ARM64_YAML_CPP:-$VELMOR_CACHE/yaml-cpp-arm64}"
QEMU="$VELMOR_QEMU_DIR/bin/qemu-aarch64"
VENV_PYTHON="$VELMOR_ROOT/.venv/bin/python"

read -r -a PYTHONS < <(sed -n 's/^python //p' cmake/platforms.txt)
read -r -a ARCHS < <(sed -n 's/^arch //p' cmake/platforms.txt)
# The release the module is made for: .venv's, and the wheel that runs every test.
REFERENCE_PYTHON=${PYTHONS[0]}

fail() {
  echo "${0##*/}: $*" >&2
  exit 1
}

usage() {
  echo "usage: ${0##*/} $1" >&2
  exit 64
}

# one_of WORD...: the words as a usage line's alternatives, a|b|c.
one_of() {
  local IFS='|'
  echo "$*"
}

# is_one_of WORD LIST...: whether WORD is one of LIST.
is_one_of() {
  local word=$1
  shift
  [[ " $* " == *" $word "* ]]
}

# Set-up levels, each including those before it: what scripts/setup installs
# for the asking command.
SETUP_LEVELS=(demo test wheels aarch64)

# set_up LEVEL: runs scripts/setup --for LEVEL unless this run (this script or
# one that started it, CI's for one) has set up that much already.
set_up() {
  local level done_index=-1 wanted_index i
  for i in "${!SETUP_LEVELS[@]}"; do
    [[ ${SETUP_LEVELS[$i]} == "$1" ]] && wanted_index=$i
    [[ ${SETUP_LEVELS[$i]} == "${VELMOR_SET_UP:-}" ]] && done_index=$i
  done
  [[ $wanted_index -le $done_index ]] && return
  scripts/setup --for "$1"
  export VELMOR_SET_UP=$1
}

# pyenv_python VERSION: the path of pyenv's newest patch release of CPython
# VERSION, which scripts/setup installs.
pyenv_python() {
  local found
  found=$(ls -d "${PYENV_ROOT:-$HOME/.pyenv}"/versions/"$1".*/bin/python"$1" 2>/dev/null | sort -V | tail -n 1 || true)
  [[ -n $found ]] || fail "no CPython $1 under pyenv (scripts/setup --for wheels installs it)"
  echo "$found"
}

# at_exit COMMAND: runs COMMAND when the script exits, after those registered later.
EXIT_ACTIONS=()
at_exit() {
  EXIT_ACTIONS=("$1" "${EXIT_ACTIONS[@]}")
  trap 'for action in "${EXIT_ACTIONS[@]}"; do eval "$action" || true; done' EXIT
}

# scratch_dir: makes a temporary folder, removed on exit, into SCRATCH.
scratch_dir() {
  SCRATCH=$(mktemp -d)
  at_exit "rm -rf '$SCRATCH'"
}

# start_sim WITHIN LOG COMMAND...: starts a robot simulator in the background
# (on the peer host of scripts/netns-run --peer with
# `ip netns exec "$VELMOR_PEER_NETNS" qrk-sim ...`), its output in LOG, and
# waits up to WITHIN seconds for its "ready" line. stop_sim, which runs on
# exit too, ends it.
SIM_PID=""
start_sim() {
  local within=$1 log=$2
  shift 2
  "$@" >"$log" 2>&1 &
  SIM_PID=$!
  at_exit stop_sim
  local deadline=$((SECONDS + within))
  until grep -q "^ready" "$log"; do
    if [[ $SECONDS -ge $deadline ]] || ! kill -0 "$SIM_PID" 2>/dev/null; then
      echo "${0##*/}: the robot simulator did not get ready within $within s; its output:" >&2
      cat "$log" >&2
      return 1
    fi
    sleep 0.1
  done
}

stop_sim() {
  [[ -n $SIM_PID ]] || return 0
  # SIGTERM: a background job of a script starts with SIGINT ignored, and the programs keep it ignored.
  kill -TERM "$SIM_PID" 2>/dev/null || true
  wait "$SIM_PID" 2>/dev/null || true
  SIM_PID=""
}

# venv_pins PACKAGE...: the pinned requirements of requirements-dev.txt for PACKAGE...
venv_pins() {
  local IFS='|'
  grep -E "^($*)==" requirements-dev.txt
}

# build_example PREFIX DIR [CMAKE_ARGS...]: builds examples/cpp on its own into
# DIR against the C++ package installed in PREFIX, as a user's project would.
build_example() {
  local prefix=$1 dir=$2
  shift 2
  cmake -S examples/cpp -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" "$@" >/dev/null
  cmake --build "$dir" >/dev/null
}

# sanitizer_options: the runtime options of the sanitized builds' tests.
sanitizer_options() {
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
  export LSAN_OPTIONS="suppressions=$VELMOR_ROOT/tests/lsan.supp:${LSAN_OPTIONS:-}"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$VELMOR_ROOT/tests/tsan.supp:${TSAN_OPTIONS:-}"
}
