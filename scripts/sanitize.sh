#!/usr/bin/env bash
# Builds the self-update tests and the GUI-thread dispatcher test with ThreadSanitizer (into
# build-tsan) and with AddressSanitizer + UndefinedBehaviorSanitizer (into build-asan), apart
# from the normal build, and runs them with CTest. Any report fails the run.
#   scripts/sanitize.sh [thread|address]    (default: both)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
which="${1:-all}"
case "$which" in
  all | thread | address) ;;
  *)
    echo "usage: $0 [thread|address]" >&2
    exit 2
    ;;
esac

tests=(tst_uidispatcher)
for source in "$root"/tests/selfupdate/tst_*.cpp; do
  tests+=("$(basename "$source" .cpp)")
done
pattern="^($(IFS='|'; echo "${tests[*]}"))\$"

# run NAME BUILD_DIR FLAGS
run() {
  local name="$1" dir="$2" flags="$3"
  echo "== $name: building ${#tests[@]} tests in $dir"
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS="-O1 -g -fno-omit-frame-pointer $flags" >/dev/null
  cmake --build "$dir" -j 2 --target "${tests[@]}"
  echo "== $name: running"
  (cd "$dir" && ctest --output-on-failure -R "$pattern" --timeout 600)
}

status=0
if [ "$which" = all ] || [ "$which" = thread ]; then
  # die_after_fork=0: QProcess forks while test threads run; the child only calls exec.
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 \
suppressions=$root/scripts/tsan-qt.supp ${TSAN_OPTIONS:-}" \
    run ThreadSanitizer "$root/build-tsan" "-fsanitize=thread" || status=1
fi
if [ "$which" = all ] || [ "$which" = address ]; then
  ASAN_OPTIONS="detect_leaks=1 strict_string_checks=1 ${ASAN_OPTIONS:-}" \
  UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1 ${UBSAN_OPTIONS:-}" \
    run "AddressSanitizer+UndefinedBehaviorSanitizer" "$root/build-asan" \
    "-fsanitize=address,undefined -fno-sanitize-recover=undefined" || status=1
fi
exit "$status"
