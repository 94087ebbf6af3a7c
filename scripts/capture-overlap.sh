#!/usr/bin/env bash
# How well democapture keeps both cores busy: records the scheduler's events of
# one capture (default: the first 30 s of the presentation) and prints how long
# one thread or none could run while the other core would have waited.
# Needs perf and the rights for scheduler tracepoints (root).
#   bash scripts/capture-overlap.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
perf sched record -q -o "$work/sched.data" -- "$root/build/tools/democapture/democapture" \
  --data "$root/build/content" --to "$seconds" --quiet -o "$work/capture.mp4" > /dev/null
perf script -i "$work/sched.data" -F pid,tid,time,event,trace 2> /dev/null | python3 "$root/scripts/capture_runnable.py"
