#!/bin/sh
# README's commands start the player through scripts/run.sh and scripts/demo.sh, which look for it
# where a build in build/ puts it; CI runs neither, so this checks they still look in the right
# place.  Usage: check_scripts.sh <source folder> <build folder> <the player as built>
set -u
top=$1
relative=${3#"$2"/}
status=0
for script in run.sh demo.sh; do
    if grep -qF "/build/$relative" "$top/scripts/$script"; then
        echo "ok: scripts/$script starts build/$relative"
    else
        echo "FAIL: scripts/$script does not start the player where it is built (build/$relative)"
        status=1
    fi
done
exit $status
