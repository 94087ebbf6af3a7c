#!/usr/bin/env bash
# Sets everything up, builds, and plays the presentation in a window; on a machine
# without a display it renders the presentation to a video instead.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh default

content=build/content
demo=build/driver/demo
capture=build/tools/democapture/democapture

if [ ! -x "$demo" ] || [ ! -f "$content/demo.dat" ]; then
  echo "run.sh: the presentation is not built yet: the program (driver/) or its generated content (demo.dat, music.s3m) is missing." >&2
  exit 1
fi

cd "$content"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "../../$demo"
fi
echo "run.sh: no display; rendering the presentation to $(pwd)/presentation.mp4"
exec "../../$capture" -o presentation.mp4
