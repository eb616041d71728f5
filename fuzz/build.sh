#!/usr/bin/env bash
# Builds the libFuzzer target with clang++ (ASan and UBSan) from the brelmark sources.
#   fuzz/build.sh [OUTDIR]      (default /tmp/brelmark-fuzz); prints the binary's path
set -euo pipefail
cd "$(dirname "$0")/.."
source fuzz/compile.sh
out=${1:-/tmp/brelmark-fuzz}
mkdir -p "$out"
# The service table is generated at build time, as the meson build does.
python3 brelmark/data/gen_services.py brelmark/data/services.tsv "$out/services_table.inc"
fuzz_build "$out/fuzz_brelmark" \
  "-Ibrelmark/include -I$out $(pkg-config --cflags re2 libutf8proc)" \
  "$(pkg-config --libs re2 libutf8proc)" \
  brelmark/src/entities/*.cpp brelmark/src/entities/ltm/*.cpp fuzz/fuzz_brelmark.cpp
echo "$out/fuzz_brelmark"
