#!/usr/bin/env bash
# Builds the document-format libFuzzer target with clang++ (ASan and UBSan) from
# the format sources and the brelmark text classes they use.
#   fuzz/build_formats.sh [OUTDIR]      (default /tmp/formats-fuzz); prints the binary's path
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-/tmp/formats-fuzz}
mkdir -p "$out"
# The service table is generated at build time, as the meson build does.
python3 brelmark/data/gen_services.py brelmark/data/services.tsv "$out/services_table.inc"
clang++ -std=c++20 -O1 -g -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -Ibrelmark/include -Isrc -Itests/cpp -I"$out" \
  brelmark/src/entities/unicode.cpp brelmark/src/entities/services.cpp \
  brelmark/src/entities/ltm/ltm_path.cpp \
  src/formats/*.cpp fuzz/fuzz_formats.cpp \
  $(pkg-config --cflags --libs yaml-0.1 re2 libutf8proc) \
  -o "$out/fuzz_formats"
echo "$out/fuzz_formats"
