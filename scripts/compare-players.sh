#!/usr/bin/env bash
# Compares modplay with two independent players on every module in a folder.
#   scripts/compare-players.sh [DIR] [BUILD]     (defaults: /tmp/modules, build)
# Each module is rendered once, without fade or repeat, at 44100 Hz stereo 16-bit:
# by modplay --interpolate, by openmpt123 with linear interpolation (2 filter taps)
# and by xmp -i linear. For each file it prints the three durations in seconds and
# the spectral likeness (bench/likeness.cpp) of modplay to each peer and of the two
# peers to each other, then the share of files where modplay is close to a peer
# (likeness 0.95 or more, or within 0.02 of the peers' own) and where its duration
# agrees with a peer within a second. scripts/fetch-modules.sh gathers modules.
# Environment: MODPLAY_ARGS adds options to modplay; JOBS renders files in parallel;
# PEER_CACHE names a folder that keeps the peers' renders between runs (keyed by the
# module's name, size and time), so a second run renders only modplay's.
# A file modplay cannot render counts as not close and not timed in the shares.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-/tmp/modules}
build=${2:-$root/build}
modplay=$build/tools/modplay/modplay
likeness=$build/bench/likeness
jobs=${JOBS:-1}
limit=600   # seconds: songs that loop for ever are cut here by all three players

for tool in openmpt123 xmp; do
  command -v "$tool" >/dev/null || {
    echo "installing $tool (a comparison peer, never linked)" >&2
    sudo_cmd=(); [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q "$tool" >/dev/null
  }
done
[ -x "$modplay" ] && [ -x "$likeness" ] || { echo "build modplay and likeness first ($build)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

peer_render() {  # peer file output
  case $1 in
    ompt) openmpt123 --quiet --batch --no-float --samplerate 44100 --filter 2 --repeat 0 --subsong 0 \
            --end-time "$limit" --force -o "$3" "$2" >/dev/null 2>&1 || true ;;
    xmp) xmp --quiet --nocmd --norc -i linear -f 44100 -t "$limit" -o "$3" "$2" >/dev/null 2>&1 || true ;;
  esac
}

render_peers() {  # file outdir: ompt.wav and xmp.wav there, from the cache when it has them
  local file=$1 out=$2 peer key
  for peer in ompt xmp; do
    if [ -z "${PEER_CACHE:-}" ]; then peer_render "$peer" "$file" "$out/$peer.wav"; continue; fi
    key=$(basename "$file")-$(stat -c '%s-%Y' "$file")
    if [ ! -e "$PEER_CACHE/$key.$peer.wav" ]; then
      peer_render "$peer" "$file" "$PEER_CACHE/$key.$peer.tmp.wav"
      touch "$PEER_CACHE/$key.$peer.tmp.wav"   # an empty render is kept too: the peer fails on it
      mv "$PEER_CACHE/$key.$peer.tmp.wav" "$PEER_CACHE/$key.$peer.wav"
    fi
    ln -sf "$PEER_CACHE/$key.$peer.wav" "$out/$peer.wav"
  done
}

rendered() {  # a WAV with at least one frame after its 44-byte header
  [ "$(stat -Lc %s "$1" 2>/dev/null || echo 0)" -gt 44 ]
}

compare_one() {
  local file=$1 n=$2 out=$work/$2
  mkdir -p "$out"
  # shellcheck disable=SC2086
  "$modplay" --quiet --interpolate --rate 44100 ${MODPLAY_ARGS:-} -o "$out/ours.wav" "$file" >/dev/null 2>&1 || true
  render_peers "$file" "$out"
  local line="-"
  if rendered "$out/ours.wav" && rendered "$out/ompt.wav" && rendered "$out/xmp.wav"; then
    line=$("$likeness" "$out/ours.wav" "$out/ompt.wav" "$out/xmp.wav" 2>/dev/null || echo "-")
  else
    line="failed: $(rendered "$out/ours.wav" || printf 'modplay ')$(rendered "$out/ompt.wav" || printf 'openmpt123 ')$(rendered "$out/xmp.wav" || printf 'xmp')"
  fi
  printf '%s\t%s\n' "$(basename "$file")" "$line" > "$out/result"
  rm -f "$out"/*.wav
}
export -f compare_one render_peers peer_render rendered
[ -z "${PEER_CACHE:-}" ] || mkdir -p "$PEER_CACHE"
export modplay likeness work limit MODPLAY_ARGS PEER_CACHE

mapfile -t files < <(find -L "$dir" -type f \( -iname '*.mod' -o -iname '*.s3m' -o -iname '*.xm' -o -iname '*.it' \) | sort)
[ ${#files[@]} -gt 0 ] || { echo "no modules in $dir" >&2; exit 1; }
for i in "${!files[@]}"; do printf '%s\0%s\0' "${files[$i]}" "$i"; done |
  xargs -0 -n 2 -P "$jobs" bash -c 'compare_one "$1" "$2"' _

printf '%-44s %8s %8s %8s  %6s %6s %6s\n' file ours ompt xmp o~ompt o~xmp ompt~xmp
for i in "${!files[@]}"; do cat "$work/$i/result"; done | awk -F'\t' '
  {
    split($2, v, " ")
    if (v[1] ~ /^failed/ || v[1] == "-" || length(v) < 6) {
      printf "%-44.44s %s\n", $1, $2
      if ($2 ~ /openmpt123|xmp/) peersfailed++; else oursfailed++
      next
    }
    printf "%-44.44s %8.1f %8.1f %8.1f  %6.3f %6.3f %6.3f\n", $1, v[1], v[2], v[3], v[4], v[5], v[6]
    n++
    best = v[4] > v[5] ? v[4] : v[5]
    if (best >= 0.95 || best >= v[6] - 0.02) close_++
    d1 = v[1] - v[2]; if (d1 < 0) d1 = -d1
    d2 = v[1] - v[3]; if (d2 < 0) d2 = -d2
    if (d1 <= 1 || d2 <= 1) timed++
  }
  END {
    total = n + oursfailed + peersfailed
    scored = n + oursfailed
    printf "\n%d files: %d compared, %d not rendered by modplay, %d not by a peer (left out)\n",
      total, n, oursfailed, peersfailed
    if (scored) printf "close to a peer: %d of %d (%.0f %%); duration within 1 s of a peer: %d of %d (%.0f %%)\n",
      close_, scored, 100 * close_ / scored, timed, scored, 100 * timed / scored
  }'
