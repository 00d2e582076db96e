#!/usr/bin/env bash
# Builds Quintrel and runs every test through ctest (offscreen).
#   ./test.sh             plain build in build/
#   ./test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build in build-sanitize/
# Both build with -Wall -Wextra -Werror: a warning in our code fails the run.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
quintrel_install

export QT_QPA_PLATFORM=offscreen
if [ "${1:-}" = "--sanitize" ]; then
  quintrel_build build-sanitize -DQUINTREL_WERROR=ON -DQUINTREL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
  # Any report fails the run; leaks inside system libraries (fonts, GL) are not ours.
  export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1"
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
  cd build-sanitize
else
  quintrel_build build "${QUINTREL_MAIN_BUILD_OPTIONS[@]}"
  cd build
fi
ctest --output-on-failure -j4 --timeout 600
