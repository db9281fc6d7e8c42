#!/usr/bin/env bash
# tools/setup against stand-in apt-get, dpkg and dpkg-query put first on PATH: what it asks of
# them, and its exit status, when the registry has a bad moment and when an install fails.
#   setup_test.sh SOURCE_DIR
set -uo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The stand-ins: dpkg-query knows the packages listed in $work/installed, apt-get logs each call
# to $work/calls and exits with the status given for its verb, dpkg logs too.
mkdir -p "$work/bin"
cat >"$work/bin/dpkg-query" <<'STUB'
#!/usr/bin/env bash
package=${!#}
grep -qx "$package" "$STUB_DIR/installed" && printf 'install ok installed' && exit 0
exit 1
STUB
cat >"$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STUB_DIR/calls"
for word in "$@"; do
  case $word in
    update) echo "E: Failed to fetch i386 index: File has unexpected size (1 != 2)" >&2; exit "${STUB_UPDATE_STATUS:-0}" ;;
    install) [ "${STUB_INSTALL_STATUS:-0}" -eq 0 ] || echo "E: Unable to locate package imaginary-dev" >&2
             exit "${STUB_INSTALL_STATUS:-0}" ;;
  esac
done
STUB
cat >"$work/bin/dpkg" <<'STUB'
#!/usr/bin/env bash
echo "dpkg $*" >>"$STUB_DIR/calls"
[ "$1" = --print-foreign-architectures ] && cat "$STUB_DIR/architectures"
exit 0
STUB
chmod +x "$work/bin/"*

# Runs tools/setup MODE with the stand-ins; its status in $status, its error output in $work/err.
run_setup() {
  : >"$work/calls"
  STUB_DIR=$work PATH="$work/bin:$PATH" VELTRASK_SETUP_RETRY_SECONDS=0 VELTRASK_I386_EMULATE=1 \
    "$source_dir/tools/setup" "$@" >"$work/out" 2>"$work/err"
  status=$?
}
calls_of() { grep -c -- "$1" "$work/calls" || true; }

every_package() { sed -n '/^run_packages=(/,/^i386_packages=/p' "$source_dir/tools/setup" | sed 's/#.*//' |
                  tr ' ()' '\n' | grep -E '^[a-z0-9][a-z0-9.+:-]+$' | grep -v _packages; echo qemu-user; }

# Everything there: apt is not asked at all.
every_package >"$work/installed"
: >"$work/architectures"
run_setup test
[ "$status" -eq 0 ] || fail "with everything installed, setup exited $status"
[ "$(calls_of apt-get)" -eq 0 ] || fail "with everything installed, apt-get was called: $(cat "$work/calls")"

# Nothing there, the index refresh fails on one index: retried, then the install goes ahead.
: >"$work/installed"
STUB_UPDATE_STATUS=100 run_setup run
[ "$status" -eq 0 ] || fail "a failed refresh stopped setup (exit $status): $(cat "$work/err")"
[ "$(calls_of 'apt-get update')" -eq 3 ] || fail "the refresh was not tried three times: $(cat "$work/calls")"
[ "$(calls_of 'apt-get install')" -eq 1 ] || fail "no install after the failed refresh: $(cat "$work/calls")"
grep -q 'install .*libfmt-dev' "$work/calls" || fail "the run setup did not install the simulator's libraries"
grep -qE 'install .*(clang|valgrind|libgtest|:i386)' "$work/calls" && fail "the run setup installed test tools: $(cat "$work/calls")"
[ "$(calls_of 'add-architecture')" -eq 0 ] || fail "the run setup changed dpkg's architectures"
grep -q 'unexpected size' "$work/err" || fail "apt's own words on the failed refresh were not passed on"

# The test setup adds the i386 architecture for its 32-bit libraries, and qemu where needed.
STUB_UPDATE_STATUS=100 run_setup test
[ "$status" -eq 0 ] || fail "the test setup exited $status: $(cat "$work/err")"
[ "$(calls_of 'dpkg --add-architecture i386')" -eq 1 ] || fail "the test setup did not add the i386 architecture"
grep -q 'install .*libgtest-dev:i386' "$work/calls" || fail "the test setup did not install the 32-bit libraries"
grep -q 'install .*qemu-user' "$work/calls" || fail "qemu-user was not installed where 32-bit programs cannot run"
[ "$(calls_of 'apt-get update')" -eq 3 ] || fail "the indexes were refreshed more than once per run: $(cat "$work/calls")"

# An install that fails is a failure, naming the packages and apt's error.
STUB_INSTALL_STATUS=100 run_setup run
[ "$status" -ne 0 ] || fail "a failed install gave exit 0"
grep -q 'could not install .*libfmt-dev' "$work/err" || fail "the failed install did not name its packages: $(cat "$work/err")"
grep -q 'Unable to locate package' "$work/err" || fail "apt's own error was not shown: $(cat "$work/err")"

run_setup nonsense
[ "$status" -eq 2 ] || fail "an unknown mode gave exit $status"

if [ "$failures" -eq 0 ]; then
  echo "setup_test: all cases passed"
fi
exit $((failures > 0))
