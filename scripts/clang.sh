# Sourced by the scripts that build with clang: the one clang of the fuzz targets and the sanitizer
# build, with Debian's runtimes for libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# (libclang-rt-N-dev; scripts/install-deps test installs both). std::source_location needs clang 15
# or later with Debian's libstdc++.
clang_version=16
clang=clang-$clang_version
clangxx=clang++-$clang_version

# need_clang WHO: stops with a hint when that clang is not installed.
need_clang() {
  if ! command -v "$clangxx" >/dev/null; then
    echo "$1: needs $clangxx (scripts/install-deps test)" >&2
    exit 1
  fi
}
