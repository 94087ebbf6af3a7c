#!/usr/bin/env bash
# Picture quality and bit rate of x264 settings for democapture, measured against
# lossless PNG frames of three stretches of the presentation with ffmpeg's psnr and
# ssim filters. Run from the repository after a build: bash scripts/capture-quality.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
capture=$root/build/tools/democapture/democapture
data=$root/build/content
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
for clip in "30 34 main" "100 104 planet" "165 169 bump"; do
  read -r from to name <<< "$clip"
  "$capture" --png --no-audio --from "$from" --to "$to" -o "ref_$name.mp4" --data "$data" > /dev/null
  for setting in "ultrafast 20" "superfast 20" "superfast 20 b-adapt=0" "veryfast 18" "veryfast 23"; do
    read -r preset crf params <<< "$setting"
    out=${name}_${preset}_$crf${params:+_$params}.mp4
    ffmpeg -v error -y -framerate 60 -i "ref_${name}_frames/frame_%06d.png" -pix_fmt yuv420p \
      -c:v libx264 -preset "$preset" -crf "$crf" ${params:+-x264-params "$params"} "$out"
    kbits=$(( $(stat -c %s "$out") * 8 / (to - from) / 1000 ))
    scores=$(ffmpeg -i "$out" -framerate 60 -i "ref_${name}_frames/frame_%06d.png" \
      -lavfi "[0:v]split[a][b];[1:v]format=yuv420p,split[c][d];[a][c]ssim;[b][d]psnr" -f null - 2>&1 |
      grep -oE "All:[0-9.]+|average:[0-9.inf]+" | tr '\n' ' ')
    echo "$name $preset crf $crf${params:+ $params}: $kbits kbit/s $scores"
  done
done
