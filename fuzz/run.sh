#!/usr/bin/env bash
# Runs a fuzz target for N seconds on a corpus seeded with the project's own
# documents (the first input byte chooses what is read).
#   fuzz/run.sh [SECONDS] [JOBS] [TARGET]     (default 60 seconds, 1 job, TARGET brelmark)
# TARGET (also taken from $FUZZ_TARGET):
#   brelmark  the configuration grammars: seeds are the test listings, one per entry.
#   formats   the JSON, YAML and TOML readers and writers of the module's records
#             and of test records, and the conversion of configuration text into
#             the module's records: seeds are fuzz/seeds/formats/*, the y_ cases of
#             the JSON test suite (as the value of an unknown key) and the valid
#             toml-test cases, each under every record, and the test listings under
#             every text entry. QV_FUZZ_FORMAT=json|yaml|toml keeps a run to one
#             format (with its own corpus, so that such runs can go in parallel).
# Crashes are written to $out/crashes/; the corpus grows in $out/corpus/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
jobs=${2:-1}
target=${3:-${FUZZ_TARGET:-brelmark}}
root=$PWD

# The prefix byte of a seed: one octal escape for printf (no subshell: the
# formats corpus has thousands of seeds).
byte() {
  local octal
  printf -v octal '%03o' "$1"
  printf "\\$octal"
}

seed_brelmark() {
  # Every listing under each of the entries that read text (the whole configuration, each
  # object, the member address, the whole configuration in pieces cut at lines and at
  # bytes), and a few paths and addresses.
  local i=0 f entry s
  for f in brelmark/tests/data/*.conf; do
    for entry in 0 1 2 3 4 5 7 15; do
      { byte "$entry"; cat "$f"; } > "$corpus/seed-$i-$entry"
    done
    i=$((i + 1))
  done
  for s in '/Common/vs:80' 'vs%2::80' '/a/b/c' '/Common/10.1.1.1%2:443' 'a:b:c'; do
    { printf '\006'; printf '%s' "$s"; } > "$corpus/seed-path-$i"; i=$((i + 1))
    { printf '\005'; printf '%s' "$s"; } > "$corpus/seed-addr-$i"; i=$((i + 1))
  done
}

# Formats and entries as fuzz/fuzz_formats.cpp numbers them: entries below
# record_count read documents, those up to text_end read configuration text, and
# path_entry matches object paths.
format_number() { case $1 in json) echo 0 ;; yaml) echo 1 ;; toml) echo 2 ;; esac; }
record_count=14
text_end=19
path_entry=19

# seed_format FORMAT NAME FILE...: each file under every record of FORMAT.
seed_format() {
  local fmt=$1 name=$2 n r f i=0
  shift 2
  n=$(format_number "$fmt")
  for f in "$@"; do
    for ((r = 0; r < record_count; r++)); do
      { byte $((r * 3 + n)); cat "$f"; } > "$corpus/$name-$i-$r"
    done
    i=$((i + 1))
  done
}

seed_formats() {
  local pinned=${QV_FUZZ_FORMAT:-} fmt f i=0
  for fmt in json yaml toml; do
    if [ -n "$pinned" ] && [ "$pinned" != "$fmt" ]; then continue; fi
    seed_format "$fmt" "seed-$fmt" fuzz/seeds/formats/*."$fmt"
  done
  if [ -z "$pinned" ] || [ "$pinned" = json ]; then
    # JSON values of every kind, skipped as the value of an unknown key of an
    # otherwise valid record.
    mkdir -p "$out/suite"
    for f in tests/data/json-test-suite/test_parsing/y_*.json; do
      { printf '{"name":"a","mask":"m","destination":"d","ip-protocol":"tcp","zz":'; cat "$f"; printf '}'; } \
        > "$out/suite/y-$i.json"
      i=$((i + 1))
    done
    seed_format json suite "$out"/suite/y-*.json
  fi
  if [ -z "$pinned" ] || [ "$pinned" = toml ]; then
    local list=() line
    while read -r line; do
      case $line in valid/*.toml) list+=("tests/data/toml-test/tests/$line") ;; esac
    done < tests/data/toml-test/tests/files-toml-1.0.0
    seed_format toml toml-test "${list[@]}"
  fi
  local n=$(format_number "${pinned:-json}") r
  for f in brelmark/tests/data/*.conf; do
    for ((r = record_count; r < text_end; r++)); do
      { byte $((r * 3 + n)); cat "$f"; } > "$corpus/text-$i-$r"
    done
    i=$((i + 1))
  done
  for s in '/Common/vs:80' 'vs%2::80' '/a/b/c' '/Common/10.1.1.1%2:443' 'a:b:c' '/p/n%١٢:http' \
    '/Common/2001:db8::1%2.443' '::ffff:10.0.0.1.any'; do
    { byte $((path_entry * 3 + n)); printf '%s' "$s"; } > "$corpus/path-$i"
    i=$((i + 1))
  done
}

case $target in
  brelmark)
    out=${BRELMARK_FUZZ_DIR:-/tmp/brelmark-fuzz}
    bin=$(fuzz/build.sh "$out")
    corpus=$out/corpus
    mkdir -p "$corpus" "$out/crashes"
    seed_brelmark
    extra=(-max_len=65536)
    ;;
  formats)
    out=${FORMATS_FUZZ_DIR:-/tmp/formats-fuzz}
    bin=$(fuzz/build_formats.sh "$out")
    corpus=$out/corpus${QV_FUZZ_FORMAT:+-$QV_FUZZ_FORMAT}
    mkdir -p "$corpus" "$out/crashes"
    seed_formats
    extra=(-max_len=16384 -dict="$root/fuzz/seeds/formats.dict")
    ;;
  *)
    echo "unknown fuzz target '$target' (brelmark or formats)" >&2
    exit 2
    ;;
esac

args=(-max_total_time="$seconds" -artifact_prefix="$out/crashes/" -timeout=10 -rss_limit_mb=2048 "${extra[@]}")
if [ "$jobs" -gt 1 ]; then
  args+=(-jobs="$jobs" -workers="$jobs")
fi
cd "$out"
"$bin" "${args[@]}" "$corpus"
