#!/usr/bin/env bash
# clang with its runtimes (libFuzzer, the profile counters) and llvm-profdata of the same
# version, installed from Debian's packages when any is missing.
#   tools/ensure_clang.sh -> the major version of clang
set -euo pipefail

ready() {
    local major
    command -v clang++ >/dev/null || return 1
    major=$(clang++ -dumpversion | cut -d. -f1)
    command -v "llvm-profdata-$major" >/dev/null &&
        [ -f "$(clang++ -print-file-name="libclang_rt.profile-$(uname -m).a")" ]
}

if ! ready; then
    echo "installing clang from Debian's packages (fuzzing, the release build's profile)" >&2
    apt-get update -qq >&2 && apt-get install -y -qq clang >/dev/null
    major=$(clang++ -dumpversion | cut -d. -f1)
    apt-get install -y -qq "libclang-rt-$major-dev" "llvm-$major" >/dev/null
fi
clang++ -dumpversion | cut -d. -f1
