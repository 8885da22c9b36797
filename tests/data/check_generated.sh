#!/bin/sh
# Regenerates the artwork and demo songs into a scratch folder and insists they are
# byte for byte the committed files, then checks the properties the player relies on.
#
#   check_generated.sh [SOURCE_DIR]
#
# Exits 77 (skipped) when the generators' toolchain is not installed.
set -u

src=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
python=${PYTHON:-/usr/bin/python3}

if ! "$python" -c "import PIL" 2>/dev/null || [ ! -f /usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf ]; then
    echo "skipped: needs $python with PIL (python3-pil) and fonts-liberation"
    exit 77
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT INT TERM

if ! PYTHON=$python sh "$src/tools/generate-data.sh" "$scratch/data" "$scratch/packaging"; then
    echo "FAIL: the generators did not run"
    exit 1
fi

status=0
compare() {
    # $1: generated file, $2: committed file, $3: name to report
    if [ ! -f "$2" ]; then
        echo "FAIL: $3 is generated but not committed"
        status=1
    elif ! cmp -s "$1" "$2"; then
        echo "FAIL: $3 differs from what the generators make now"
        status=1
    fi
}

for generated in "$scratch"/data/*; do
    name=$(basename "$generated")
    compare "$generated" "$src/data/$name" "data/$name"
done
compare "$scratch/packaging/lumora.png" "$src/packaging/lumora.png" "packaging/lumora.png"
for generated in $(cd "$scratch/packaging" && find icons -type f | sort); do
    compare "$scratch/packaging/$generated" "$src/packaging/$generated" "packaging/$generated"
done
for committed in $(cd "$src/packaging" && find icons -type f | sort); do
    if [ ! -e "$scratch/packaging/$committed" ]; then
        echo "FAIL: packaging/$committed is committed but no generator makes it"
        status=1
    fi
done

for committed in "$src"/data/*; do
    name=$(basename "$committed")
    if [ ! -e "$scratch/data/$name" ]; then
        echo "FAIL: data/$name is committed but no generator makes it"
        status=1
    fi
done

if ! "$python" "$src/tests/data/check_assets.py" "$src"; then
    status=1
fi

[ $status -eq 0 ] && echo "all generated files reproduce and have the expected properties"
exit $status
