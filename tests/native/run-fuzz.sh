#!/bin/sh
# Runs the fuzz target for a bounded time on a scratch copy of the seed
# corpus, so the checked-in seeds never change.
# Usage: run-fuzz.sh FUZZER SEEDDIR DICT WORKDIR SECONDS
set -e
fuzzer=$1 seeds=$2 dict=$3 work=$4 seconds=$5
rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts"
cp "$seeds"/* "$work/corpus/"
exec "$fuzzer" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=1024 \
    -dict="$dict" -artifact_prefix="$work/artifacts/" -print_final_stats=1 "$work/corpus"
