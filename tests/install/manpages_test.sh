#!/usr/bin/env bash
# manpages_test.sh MANDIR PROGRAM... [?PROGRAM...]
# Each program's manual page names the same long options as its --help (qvrlib
# with its commands' --help too), no more and no fewer. A program marked with ?
# is checked once its page exists.
set -euo pipefail
mandir=$1
shift
status=0
diffs=$(mktemp)
trap 'rm -f "$diffs"' EXIT
options() { grep -oE -- '--[a-z0-9][a-z0-9-]*' | sort -u; }
for program in "$@"; do
  optional=false
  [ "${program:0:1}" = "?" ] && optional=true program=${program:1}
  name=$(basename "$program")
  page=$(ls "$mandir/$name".[16] 2>/dev/null | head -n 1 || true)
  if [ -z "$page" ] && $optional; then
    continue
  elif [ -z "$page" ]; then
    echo "FAIL: $name has no manual page in $mandir"
    status=1
    continue
  fi
  help=$("$program" --help)
  if [ "$name" = qvrlib ]; then
    for command in create list extract; do help+=$'\n'$("$program" "$command" --help); done
  fi
  if ! diff <(options <<<"$help") <(sed 's/\\-/-/g' "$page" | options) >"$diffs"; then
    echo "FAIL: $name: --help (<) and $(basename "$page") (>) differ:"
    cat "$diffs"
    status=1
  fi
done
exit $status
