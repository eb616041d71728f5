#!/usr/bin/env bash
# Builds the document-format libFuzzer target with clang++ (ASan and UBSan) from
# the record framework, the format sources, the module's model (no Python) and brelmark.
#   fuzz/build_formats.sh [OUTDIR]      (default /tmp/formats-fuzz); prints the binary's path
set -euo pipefail
cd "$(dirname "$0")/.."
source fuzz/compile.sh
out=${1:-/tmp/formats-fuzz}
mkdir -p "$out"
# The service table is generated at build time, as the meson build does.
python3 brelmark/data/gen_services.py brelmark/data/services.tsv "$out/services_table.inc"
fuzz_build "$out/fuzz_formats" \
  "-Ibrelmark/include -Isrc -Itests/cpp -I$out $(pkg-config --cflags yaml-0.1 re2 libutf8proc)" \
  "$(pkg-config --libs yaml-0.1 re2 libutf8proc)" \
  brelmark/src/entities/*.cpp brelmark/src/entities/ltm/*.cpp \
  src/record/*.cpp src/formats/*.cpp src/ltm/*.cpp fuzz/fuzz_formats.cpp
echo "$out/fuzz_formats"
