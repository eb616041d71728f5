# Sourced by the fuzz build scripts (from the repository's root): builds a
# libFuzzer binary with the clang of scripts/clang.sh (ASan and UBSan),
# compiling the translation units in parallel, one clang per core, so that the
# short fuzzing runs of scripts/test stay short.
#   fuzz_build BINARY "COMPILE FLAGS" "LINK FLAGS" SOURCE...
# Objects go to BINARY.obj/; compiler messages to stderr.
source scripts/clang.sh

fuzz_flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer
            -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)

fuzz_build() {
  local bin=$1 cflags=$2 ldflags=$3
  shift 3
  local objdir="$bin.obj" cores running=0 failed=0 src obj objs=()
  need_clang fuzz_build
  cores=$(nproc)
  mkdir -p "$objdir"
  for src in "$@"; do
    if [ "$running" -ge "$cores" ]; then
      wait -n || failed=1
      running=$((running - 1))
    fi
    obj="$objdir/${src//\//_}.o"
    objs+=("$obj")
    # shellcheck disable=SC2086  # the flags are word lists
    "$clangxx" "${fuzz_flags[@]}" $cflags -c "$src" -o "$obj" &
    running=$((running + 1))
  done
  while [ "$running" -gt 0 ]; do
    wait -n || failed=1
    running=$((running - 1))
  done
  if [ "$failed" -ne 0 ]; then
    echo "fuzz_build: compiling $bin failed" >&2
    return 1
  fi
  # shellcheck disable=SC2086
  "$clangxx" "${fuzz_flags[@]}" "${objs[@]}" $ldflags -o "$bin"
}
