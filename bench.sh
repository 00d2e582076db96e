#!/usr/bin/env bash
# Builds the benchmarks in Release (build-bench/), runs them and prints one table of
# figures against their goals; exits non-zero when a goal is missed.
#   ./bench.sh           full runs (about thirteen minutes, five and a half of them the memory run)
#   ./bench.sh --smoke   short runs: timing and growth goals are reported, not judged
set -uo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
quintrel_install || exit 1

export QT_QPA_PLATFORM=offscreen
BENCHES=(receive slowsend startup memory firmware workbook yamlfiles)
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
cmake --build build-bench -j"$(nproc)" --target "${BENCHES[@]/#/bench_}" bench_startup_baseline || exit 1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
for b in "${BENCHES[@]}"; do
  echo "== bench_$b $*"
  build-bench/bin/bench_"$b" "$@" 2>"$work/$b.err" | tee "$work/$b.out" | grep -v '^RESULT'
  rc=${PIPESTATUS[0]}
  grep '^RESULT' "$work/$b.out" | cut -f2- >>"$work/table"
  if [ "$rc" -ne 0 ]; then
    failed=1
    if ! grep -q '^RESULT' "$work/$b.out"; then
      printf 'bench_%s\texit code %s\truns\tmissed\n' "$b" "$rc" >>"$work/table"
      tail -n 20 "$work/$b.err" >&2
    fi
  fi
done

echo
awk -F'\t' '
  { for (i = 1; i <= 4; i++) { cell[NR, i] = $i; if (length($i) > w[i]) w[i] = length($i) } }
  END {
    split("benchmark|figure|goal|met/missed", head, "|")
    for (i = 1; i <= 4; i++) if (length(head[i]) > w[i]) w[i] = length(head[i])
    fmt = "%-" w[1] "s  %-" w[2] "s  %-" w[3] "s  %s\n"
    printf fmt, head[1], head[2], head[3], head[4]
    printf fmt, "----", "------", "----", "----------"
    for (r = 1; r <= NR; r++) printf fmt, cell[r, 1], cell[r, 2], cell[r, 3], cell[r, 4]
  }' "$work/table"
exit "$failed"
