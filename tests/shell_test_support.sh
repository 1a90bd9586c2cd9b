# Sourced by the shell tests.

# Skips (status 77) a test that this machine cannot run; where CI runs
# (VANTRELIX_NO_SKIPS set) it fails instead.
skip() {
  echo "SKIP: $*"
  [ -z "${VANTRELIX_NO_SKIPS:-}" ] || exit 1
  exit 77
}

# A scratch folder under /tmp, whatever the build
# folder's path or TMPDIR: the settings hold a source name of 100 bytes and a
# socket address 108, and users a test drops to must be able to enter it.
# The one that a run killed on its time limit left (no trap runs then) is
# removed at the next start; the build folder keeps its name.
#   make_scratch NAME BUILD_SCRATCH   sets $work
make_scratch() {
  local record="$2/$1.last" old
  mkdir -p "$2"
  if [ -f "$record" ]; then
    old=$(cat "$record")
    case "$old" in /tmp/vantrelix-"$1"-*) rm -rf "$old" ;; esac
  fi
  work=$(mktemp -d "/tmp/vantrelix-$1-XXXXXX")
  printf '%s\n' "$work" > "$record"
}
