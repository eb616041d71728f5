#!/usr/bin/env bash
# Builds the libFuzzer target with clang++ (ASan and UBSan) from the brelmark sources.
#   fuzz/build.sh [OUTDIR]      (default /tmp/brelmark-fuzz); prints the binary's path
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-/tmp/brelmark-fuzz}
mkdir -p "$out"
# The service table is generated at build time, as the meson build does.
python3 brelmark/data/gen_services.py brelmark/data/services.tsv "$out/services_table.inc"
clang++ -std=c++20 -O1 -g -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -Ibrelmark/include -I"$out" \
  brelmark/src/entities/*.cpp brelmark/src/entities/ltm/*.cpp fuzz/fuzz_brelmark.cpp \
  $(pkg-config --cflags --libs re2 libutf8proc) \
  -o "$out/fuzz_brelmark"
echo "$out/fuzz_brelmark"
