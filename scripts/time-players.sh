#!/usr/bin/env bash
# Times three players rendering the same modules to WAV files, side by side:
# modplay (interpolating mixer), openmpt123 (linear interpolation) and xmp
# (linear interpolation), each at 44100 Hz stereo 16-bit, every song played
# once. The figure is the CPU time (user + system) of the whole process, so
# start-up, loading and file writing count. The three renders of a file run
# one after the other, in an order that rotates from file to file, so that a
# busy machine slows all three alike; compare the ratios, not the seconds.
#
#   scripts/time-players.sh [-m MODPLAY] [-n] [-x EXTRA_MODPLAY_OPTION]... [DIR...]
#
# -n renders with modplay's default (non-interpolating) mixing instead.
#
# DIR defaults to /tmp/modules/{mod,s3m,xm,it} as scripts/fetch-modules.sh
# fills it. Files that any player refuses are left out of the totals. The
# WAV files go to a temporary folder and are removed after each render.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
modplay=$here/build/tools/modplay/modplay
modplay_options=()
interpolate=1
while getopts "m:nx:" opt; do
  case $opt in
    m) modplay=$OPTARG ;;
    n) interpolate=0 ;;
    x) modplay_options+=("$OPTARG") ;;
    *) echo "usage: $0 [-m MODPLAY] [-n] [-x OPTION]... [DIR...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
((interpolate)) && modplay_options=(--interpolate "${modplay_options[@]}")
dirs=("$@")
if ((${#dirs[@]} == 0)); then
  [ -d /tmp/modules ] || { echo "no modules in /tmp/modules: run scripts/fetch-modules.sh first" >&2; exit 1; }
  for k in mod s3m xm it; do dirs+=("/tmp/modules/$k"); done
fi

# The peers come from Debian; they are compared against, never linked.
need=()
command -v openmpt123 >/dev/null || need+=(openmpt123)
command -v xmp >/dev/null || need+=(xmp)
[ -x /usr/bin/time ] || need+=(time)
if ((${#need[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${need[@]}"
fi
[ -x "$modplay" ] || { echo "no modplay at $modplay (build it first)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# run NAME FILE: renders FILE with player NAME, prints its CPU seconds, or
# fails when the player does.
run() {
  local out=$work/$1.wav status=0
  case $1 in
    modplay) /usr/bin/time -f "%U %S" -o "$work/t" "$modplay" --quiet "${modplay_options[@]}" \
               --rate 44100 -o "$out" "$2" >/dev/null 2>"$work/err" || status=$? ;;
    openmpt) /usr/bin/time -f "%U %S" -o "$work/t" openmpt123 --quiet --batch --force \
               --samplerate 44100 --channels 2 --no-float --filter 2 --repeat 0 \
               -o "$out" "$2" >/dev/null 2>"$work/err" || status=$? ;;
    xmp)     /usr/bin/time -f "%U %S" -o "$work/t" xmp --quiet --nocmd --norc -f 44100 -b 16 \
               -i linear -o "$out" "$2" >/dev/null 2>"$work/err" || status=$? ;;
  esac
  rm -f "$out"
  ((status == 0)) || return 1
  tail -n 1 "$work/t" | awk '{ printf "%.2f", $1 + $2 }'
}

players=(modplay openmpt xmp)
declare -A total=() kind_total=() kind_files=()
files=0 skipped=0 turn=0
printf "%-48s %9s %9s %9s\n" file modplay openmpt123 xmp
for dir in "${dirs[@]}"; do
  [ -d "$dir" ] || continue
  kind=$(basename "$dir")
  for f in "$dir"/*; do
    [ -f "$f" ] || continue
    declare -A t=()
    ok=1
    for i in 0 1 2; do
      p=${players[$(((i + turn) % 3))]}
      t[$p]=$(run "$p" "$f") || { ok=0; echo "  $(basename "$f"): $p failed: $(head -c 200 "$work/err")" >&2; }
    done
    turn=$((turn + 1))
    if ((!ok)); then skipped=$((skipped + 1)); unset t; continue; fi
    printf "%-48.48s %9s %9s %9s\n" "$(basename "$f")" "${t[modplay]}" "${t[openmpt]}" "${t[xmp]}"
    for p in "${players[@]}"; do
      total[$p]=$(echo "${total[$p]:-0} + ${t[$p]}" | bc)
      kind_total[$kind.$p]=$(echo "${kind_total[$kind.$p]:-0} + ${t[$p]}" | bc)
    done
    kind_files[$kind]=$((${kind_files[$kind]:-0} + 1))
    files=$((files + 1))
    unset t
  done
done

ratio() { echo "scale=2; $1 / $2" | bc; }
echo
printf "%-6s %6s %10s %10s %10s %12s %12s\n" kind files modplay openmpt123 xmp "openmpt/mod" "xmp/mod"
for dir in "${dirs[@]}"; do
  kind=$(basename "$dir")
  n=${kind_files[$kind]:-0}
  ((n > 0)) || continue
  m=${kind_total[$kind.modplay]}
  printf "%-6s %6d %10s %10s %10s %12s %12s\n" "$kind" "$n" "$m" "${kind_total[$kind.openmpt]}" \
    "${kind_total[$kind.xmp]}" "$(ratio "${kind_total[$kind.openmpt]}" "$m")" \
    "$(ratio "${kind_total[$kind.xmp]}" "$m")"
done
((files > 0)) || { echo "no modules played by all three players" >&2; exit 1; }
m=${total[modplay]}
printf "%-6s %6d %10s %10s %10s %12s %12s\n" all "$files" "$m" "${total[openmpt]}" "${total[xmp]}" \
  "$(ratio "${total[openmpt]}" "$m")" "$(ratio "${total[xmp]}" "$m")"
echo "($skipped files left out: refused by at least one player)"
