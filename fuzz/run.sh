#!/usr/bin/env bash
# Runs every fuzz target for a fixed time and reports the executions.
#   fuzz/run.sh PYTHON WORK SECONDS
# PYTHON has atheris and orvel_mesh; ORVEL_MESH_TESTING_DIR names the fault-injection build.
# WORK receives the grown corpora and any crashing input; fuzz/corpus/ is only read.
# The core target is built with clang++ when it is installed, and skipped otherwise.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
python=$1 work=$2 seconds=$3
conformance="$here/../tests/conformance/inputs"
# The public parsing suite seeds the JSON targets too when the reference data is present.
suite=$("$python" "$here/../tools/reference_data.py" jsontestsuite)
mkdir -p "$work"
total=0
summary=""

# run NAME SEEDS... -- COMMAND...: one libFuzzer run, its executions added to the total
run() {
    local name=$1 seeds=() log="$work/$1.log"
    shift
    while [ "$1" != "--" ]; do
        [ -d "$1" ] || { echo "fuzz: seed folder $1 is missing" >&2; return 1; }
        seeds+=("$1")
        shift
    done
    shift
    mkdir -p "$work/corpus-$name"
    if ! "$@" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 -dict="$here/json.dict" \
            -artifact_prefix="$work/$name-" "$work/corpus-$name" "${seeds[@]}" >"$log" 2>&1; then
        tail -40 "$log"
        echo "fuzz: target $name failed on $work/$name-crash-*; once fixed, keep that input in ${seeds[0]}/" >&2
        return 1
    fi
    local runs
    runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log")
    total=$((total + runs))
    summary+=" $name=$runs"
}

run json "$here/corpus/json" "$conformance" ${suite:+"$suite"} -- "$python" "$here/fuzz_json.py"
run plan "$here/corpus/plan" "$here/corpus/json" -- "$python" "$here/fuzz_plan.py"
run api "$here/corpus/api" -- "$python" "$here/fuzz_api.py"

if command -v clang++ >/dev/null; then
    "$here/build_core_fuzzer.sh" "$work/core_fuzzer"
    run core "$here/corpus/json" "$here/corpus/plan" "$conformance" ${suite:+"$suite"} -- "$work/core_fuzzer"
else
    summary+=" core=skipped(no clang++)"
fi

echo "fuzz: $total executions in ${seconds}s per target:$summary"
