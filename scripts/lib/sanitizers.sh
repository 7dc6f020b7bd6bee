# The sanitized build shared by scripts/check-sanitized and scripts/fuzz (sourced after
# steps.sh, not run).

ZOVRANT_SANITIZED_BUILD="$ZOVRANT_ROOT/build-sanitized"

# A finding of either sanitizer ends the program with a report naming where it happened.
# Leaks are found too; only leaks inside third-party libraries are suppressed (see the
# suppression file), never one of our own.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$ZOVRANT_ROOT/scripts/lib/lsan-suppressions.txt:print_suppressions=0"

# At most two compilers at once: the machine is shared.
jobs_for_build() {
  local cores
  cores=$(nproc)
  if [ "$cores" -gt 2 ]; then cores=2; fi
  echo "$cores"
}

# Clang builds both the checked tests and the fuzzers in one tree. Optimised lightly with
# line tables, so reports name source lines; assertions stay on.
configure_sanitized() {
  local launcher=()
  if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
  cmake -S "$ZOVRANT_ROOT" -B "$ZOVRANT_SANITIZED_BUILD" \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
    -DZOVRANT_FUZZ=ON "${launcher[@]}"
}
