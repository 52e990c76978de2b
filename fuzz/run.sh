#!/bin/sh
# run.sh BINARY SEED_DIR SECONDS ARTIFACT_PREFIX: one bounded libFuzzer run.
# New inputs go to a scratch folder, never into the seed corpus; a crash, leak or
# timeout is kept under ARTIFACT_PREFIX and makes the run fail.
set -eu
bin=$1 seeds=$2 seconds=$3 artifacts=$4
scratch=$(mktemp -d "${TMPDIR:-/tmp}/gv-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$(dirname "$artifacts")"
"$bin" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts" "$scratch" "$seeds"
