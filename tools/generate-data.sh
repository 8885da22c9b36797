#!/bin/sh
# Regenerates Lumora's artwork and demo songs from the generators in this folder.
#
#   tools/generate-data.sh [DATA_DIR [PACKAGING_DIR]]
#
# Defaults to the repository's data/ and packaging/. Needs Debian's python3 with
# python3-pil and fonts-liberation; set PYTHON to use another interpreter.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
data=${1:-$here/../data}
packaging=${2:-$here/../packaging}
python=${PYTHON:-/usr/bin/python3}

# Keep the source tree free of bytecode caches.
export PYTHONDONTWRITEBYTECODE=1

"$python" "$here/make_skins.py" --data "$data" --packaging "$packaging"
"$python" "$here/make_icon.py" --packaging "$packaging"
"$python" "$here/make_songs.py" --data "$data"
