# Shared by the scripts in scripts/ and .ci/run (sourced, not run). Each step prints one
# line, "Caption… ok", and keeps its whole output in build/logs/<name>.log; when a step
# fails, the line ends in "failed", the last 200 lines of its log follow and the script
# exits with the step's status.

ZOVRANT_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
ZOVRANT_LOGS="$ZOVRANT_ROOT/build/logs"

# step NAME "Caption" command [arguments...]
# Runs the command (a program or a shell function) with its output in the log NAME.
step() {
  local name=$1 caption=$2
  shift 2
  local log="$ZOVRANT_LOGS/$name.log"
  mkdir -p "$ZOVRANT_LOGS"
  printf '%s… ' "$caption"
  local status=0
  "$@" >"$log" 2>&1 </dev/null || status=$?
  if [ "$status" -eq 0 ]; then
    echo "ok"
    return 0
  fi
  echo "failed (status $status)"
  echo "---- last 200 lines of $log"
  tail -n 200 "$log"
  echo "---- end of $log"
  exit "$status"
}

# Runs scripts/install-deps unless a script earlier in the same run did:
# ZOVRANT_DEPS_INSTALLED=1 in the environment marks it done for the scripts called after.
install_deps_once() {
  if [ "${ZOVRANT_DEPS_INSTALLED:-0}" != 1 ]; then
    "$ZOVRANT_ROOT/scripts/install-deps"
    export ZOVRANT_DEPS_INSTALLED=1
  fi
}
