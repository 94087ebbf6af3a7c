#!/usr/bin/env bash
# install_test.sh BUILD SOURCE CXX CMAKE
# Installs BUILD into a temporary prefix, checks what lands there, builds the
# examples against it through the CMake package and through pkg-config, and runs
# them on the installed content.
set -euo pipefail
build=$1 source=$2 cxx=$3 cmake=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "FAIL: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "install"; }

for file in bin/demo bin/democapture bin/sceneinfo bin/sceneview bin/qvrlib bin/mkcontent bin/modplay \
            share/demo/demo.dat share/demo/music.s3m lib/cmake/Demo/DemoConfig.cmake \
            lib/pkgconfig/demo-sound.pc lib/pkgconfig/demo-engine.pc \
            include/demo/sound/gmprender.h include/demo/engine/read3ds.h include/demo/platform/win32/win32.h; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done
for page in "$source"/man/*.[16]; do
  [ -e "$page" ] || continue
  name=$(basename "$page")
  [ -f "$prefix/share/man/man${name##*.}/$name" ] || fail "man page $name is not installed"
done

# The CMake package.
"$cmake" -S "$source/examples" -B "$work/by-cmake" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_BUILD_TYPE=Release >"$work/configure.log" || { cat "$work/configure.log"; fail "examples: configure"; }
"$cmake" --build "$work/by-cmake" >"$work/build.log" || { cat "$work/build.log"; fail "examples: build"; }

# pkg-config, the prefix found from the files' own folder.
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
mkdir "$work/by-pkgconfig"
for pair in playmodule:demo-sound scenenodes:demo-engine; do
  program=${pair%%:*} package=${pair#*:}
  # shellcheck disable=SC2046  # the flags are words
  "$cxx" -std=c++20 -O1 "$source/examples/$program.cpp" $(pkg-config --cflags --libs "$package") \
    -o "$work/by-pkgconfig/$program" || fail "$program through pkg-config"
done

content=$prefix/share/demo
for way in by-cmake by-pkgconfig; do
  bin=$work/$way
  duration=$("$bin/playmodule" "$content/music.s3m") || fail "$way playmodule: $duration"
  # The soundtrack plays for 218 seconds, give or take its last row.
  awk '{ s = $(NF - 1); exit !(s > 210 && s < 226) }' <<<"$duration" || fail "$way playmodule: $duration"
  "$bin/playmodule" "$content/music.s3m" "$work/music.wav" >/dev/null || fail "$way playmodule render"
  size=$(stat -c %s "$work/music.wav")
  [ "$(head -c 4 "$work/music.wav")" = RIFF ] && [ $(((size - 44) % 4)) -eq 0 ] && [ "$size" -gt 35000000 ] ||
    fail "$way playmodule wrote a WAVE file of $size bytes"
  rm "$work/music.wav"

  # The same nodes, in the same order, as the installed sceneinfo reads them.
  member='3ds\intro.3DS'
  "$bin/scenenodes" "$content/demo.dat" "$member" >"$work/nodes.txt" || fail "$way scenenodes"
  "$prefix/bin/sceneinfo" "$content/demo.dat" "$member" | sed -n 's/^node [0-9]* \("[^"]*"\).*/\1/p' >"$work/expected.txt"
  [ -s "$work/expected.txt" ] || fail "sceneinfo printed no nodes"
  sed -n '2,$s/^ *[a-z ]* \("[^"]*"\)$/\1/p' "$work/nodes.txt" | diff "$work/expected.txt" - || fail "$way scenenodes nodes"
done

# Installed programs find the installed content from any folder.
mkdir "$work/elsewhere"
(cd "$work/elsewhere" && "$prefix/bin/democapture" --quiet --frame 7 -o shot.png) || fail "installed democapture"
[ -s "$work/elsewhere/shot.png" ] || fail "installed democapture wrote no picture"
echo "installed into $prefix; examples built both ways and ran"
