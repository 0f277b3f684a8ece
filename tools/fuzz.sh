#!/usr/bin/env bash
# Builds the fuzz programs (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) into build/fuzz and runs every target in turn.
#   tools/fuzz.sh [SECONDS] [TARGET...]
# SECONDS per target (default 60). The working corpus of each target grows in
# build/fuzz/corpus/<target>, seeded from fuzz/corpus/<target>; findings land
# in build/fuzz/findings/<target>/ and the run's output in
# build/fuzz/logs/<target>.log. The exit status is not 0 when a target found
# something. FUZZ_JOBS=N runs N targets at a time (default 1); FUZZ_NICE=N
# runs them at that niceness; FUZZ_TIMEOUT=S makes an input that takes longer
# than S seconds a finding (default 10; give a loaded machine more).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
dir=build/fuzz
all=(intake json_tokenizer parse_json json_object photo unescape experteer domain_lines request_kind
     handshake_answer frame_reader settings_files whole_request policy_file)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all[@]}")

CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLIPORT_FUZZ=ON \
  -DPELLIPORT_TESTS=OFF -DPELLIPORT_WERROR=ON >/dev/null
cmake --build "$dir" -j"${FUZZ_BUILD_JOBS:-2}" --target $(printf 'fuzz_%s ' "${targets[@]}")

run_target() {
  local name="$1"
  local corpus="$dir/corpus/$name" findings="$dir/findings/$name" log="$dir/logs/$name.log"
  mkdir -p "$corpus" "$findings" "$dir/logs"
  local options=(-max_total_time="$seconds" -timeout="${FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 -print_final_stats=1
                 -artifact_prefix="$findings/")
  [ -f "fuzz/dict/$name.dict" ] && options+=(-dict="fuzz/dict/$name.dict")
  # Findings of earlier runs are inputs again, so that a fix is checked.
  local seeds=("fuzz/corpus/$name")
  [ -d "fuzz/regressions/$name" ] && seeds+=("fuzz/regressions/$name")
  # The processor time the fuzzer got ends the log: the last line of "times"
  # holds its user and system time.
  if (nice -n "${FUZZ_NICE:-0}" "$dir/fuzz/fuzz_$name" "${options[@]}" "$corpus" "${seeds[@]}" >"$log" 2>&1
      status=$?; times >>"$log"; exit $status); then
    echo "fuzz $name: $(grep -E '^Done' "$log" | tail -1), processor time $(tail -1 "$log")"
  else
    echo "fuzz $name: FOUND SOMETHING, see $log and $findings" >&2
    tail -40 "$log" >&2
    return 1
  fi
}

# A pool of FUZZ_JOBS workers takes the targets in turn.
export -f run_target
export dir seconds
printf '%s\n' "${targets[@]}" | xargs -P "${FUZZ_JOBS:-1}" -I{} bash -c 'run_target "$1"' _ {}
