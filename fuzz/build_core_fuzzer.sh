#!/usr/bin/env bash
# Builds the libFuzzer target on the core with AddressSanitizer and UBSan.
#   fuzz/build_core_fuzzer.sh OUTPUT     (needs clang++ with libFuzzer)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src="$here/../mesh/src"
output=$1
objects="$output.objects"
rm -rf "$objects"
mkdir -p "$objects"
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined
       -fno-sanitize-recover=undefined -I "$src")

# One object per core source, two compilers at a time.
find "$src" -name '*.cpp' -not -path '*/python/*' -print0 |
    xargs -0 -P 2 -I {} sh -c 'clang++ "$@" -c "{}" -o "$0/$(echo "{}" | md5sum | cut -c1-12).o"' \
        "$objects" "${flags[@]}"
clang++ "${flags[@]}" -fsanitize=fuzzer "$here/core_fuzzer.cpp" "$objects"/*.o -o "$output"
