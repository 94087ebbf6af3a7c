#!/usr/bin/env bash
# Gathers tracker modules (MOD, S3M, XM, IT) from Debian game packages into a
# scratch folder, sorted by kind, for comparing playback with other players.
# The files belong to their packages: keep them out of the repository.
#   scripts/fetch-modules.sh [DIR]      (default: /tmp/modules)
set -euo pipefail
dest=${1:-/tmp/modules}
packages=(
  pingus-data biniax2-data tomatoes-data cuyo-data gltron madbomber-data
  gl-117-data pachi-data penguin-command bb vectoroids pathogen njam-data
  monsterz-data gweled pekka-kana-2-data heroes-sound-tracks flobopuyo
  rafkill-data bomberclone-data vodovod solarwolf ri-li-data gemdropx
  dodgindiamond2 vor criticalmass-data ceferino-data ballz-data
  ironseed-data tecnoballz-data freedroid-data rockdodger open-invaders-data
  tuxtype-data tuxmath-data armagetronad bugsquish
)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$dest"/{mod,s3m,xm,it}
cd "$work"
for p in "${packages[@]}"; do
  apt-get download -q "$p" >/dev/null 2>&1 || { echo "skipped $p (not available)" >&2; continue; }
done
for deb in ./*.deb; do
  pkg=$(basename "$deb" | cut -d_ -f1)
  mkdir -p "x/$pkg"
  dpkg-deb -x "$deb" "x/$pkg"
  find "x/$pkg" -type f \( -iname '*.mod' -o -iname '*.s3m' -o -iname '*.xm' -o -iname '*.it' \) -print0 |
  while IFS= read -r -d '' f; do
    ext=$(echo "${f##*.}" | tr 'A-Z' 'a-z')
    # Only real modules: skip same-named files of other kinds (XML schemas and the like).
    case $ext in
      mod) sig=$(dd if="$f" bs=1 skip=1080 count=4 2>/dev/null | tr -dc '[:print:]') ;;
      s3m) sig=$(dd if="$f" bs=1 skip=44 count=4 2>/dev/null | tr -d '\0') ; [ "$sig" = SCRM ] || continue ;;
      xm)  sig=$(head -c 17 "$f" | tr -d '\0') ; [ "$sig" = "Extended Module: " ] || continue ;;
      it)  sig=$(head -c 4 "$f" | tr -d '\0') ; [ "$sig" = IMPM ] || continue ;;
    esac
    if [ "$ext" = mod ] && head -c 5 "$f" | grep -q '^<'; then continue; fi
    cp "$f" "$dest/$ext/${pkg}--$(basename "$f")"
  done
done
for k in mod s3m xm it; do echo "$k: $(ls "$dest/$k" | wc -l)"; done
