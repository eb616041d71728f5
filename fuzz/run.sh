#!/usr/bin/env bash
# Runs the fuzz target for N seconds on a corpus seeded with the test listings, one
# seed per entry (the first byte chooses the parser).
#   fuzz/run.sh [SECONDS] [JOBS]       (default 60 seconds, 1 job)
# Crashes are written to $out/crashes/; the corpus grows in $out/corpus/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
jobs=${2:-1}
out=${BRELMARK_FUZZ_DIR:-/tmp/brelmark-fuzz}
bin=$(fuzz/build.sh "$out")
mkdir -p "$out/corpus" "$out/crashes"
# Seeds: every listing under each of the seven entries, and a few paths and addresses.
i=0
for f in brelmark/tests/data/*.conf; do
  for entry in 0 1 2 3 4 5; do
    { printf "\\$(printf '%03o' "$entry")"; cat "$f"; } > "$out/corpus/seed-$i-$entry"
  done
  i=$((i + 1))
done
for s in '/Common/vs:80' 'vs%2::80' '/a/b/c' '/Common/10.1.1.1%2:443' 'a:b:c'; do
  { printf '\006'; printf '%s' "$s"; } > "$out/corpus/seed-path-$i"; i=$((i + 1))
  { printf '\005'; printf '%s' "$s"; } > "$out/corpus/seed-addr-$i"; i=$((i + 1))
done
args=(-max_total_time="$seconds" -artifact_prefix="$out/crashes/" -max_len=65536 -timeout=10 -rss_limit_mb=2048)
if [ "$jobs" -gt 1 ]; then
  args+=(-jobs="$jobs" -workers="$jobs")
fi
cd "$out"
"$bin" "${args[@]}" corpus
