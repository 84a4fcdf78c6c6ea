#!/usr/bin/env bash
# Runs quorvid on the bundled impact-test pair in a scratch folder: answers 2
# (no mean removal) and 1 (rectangular window), then the two file names, all
# fed on standard input. At a terminal the program then waits for a key.
#
#   examples/run_example.sh [path/to/quorvid]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$(cd "$(dirname "${1:-$here/../build/release/quorvid}")" && pwd)/$(basename "${1:-quorvid}")
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quorvid-example.XXXXXX")
cd "$scratch"
printf '2\n1\n%s\n%s\n' "$here/impact_force.txt" "$here/impact_response.txt" | "$program"
echo
echo "Output files are in $scratch:"
ls "$scratch"
