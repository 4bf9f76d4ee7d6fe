# Shared by the scripts: argument checks, and build steps that stay quiet
# unless they fail. Source it after `cd` to the source tree.

# usage_error MESSAGE: says what is wrong with the arguments and how to call.
usage_error() {
  echo "$(basename "$0"): $1" >&2
  echo "usage: $USAGE" >&2
  exit 2
}

# no_arguments "$@": for scripts that take none.
no_arguments() {
  [ $# -eq 0 ] || usage_error "unexpected argument '$1'"
}

# quietly COMMAND...: runs COMMAND with its output held back; when it fails the
# output (compiler errors and all) is shown and the script stops.
quietly() {
  local log status=0
  log=$(mktemp)
  "$@" >"$log" 2>&1 || status=$?
  if [ $status -ne 0 ]; then
    cat "$log" >&2
    rm -f "$log"
    echo "$(basename "$0"): failed ($status): $*" >&2
    exit $status
  fi
  rm -f "$log"
}
