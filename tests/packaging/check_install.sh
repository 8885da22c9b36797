#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR, at two prefixes, and checks what a user's system gets:
# the player, every skin picture and demo song, the icon and a valid desktop entry that opens MIDI
# files (the player finds its data folder itself, from any working directory). Then, when CPack and dpkg-deb are there, the .deb's control
# fields and contents.
# Usage: check_install.sh <build folder> <source folder> <scratch folder>
# Exits 77 (skipped) without desktop-file-validate.
set -euo pipefail
build=$1
source=$2
work=$3

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
ok() {
    echo "ok: $*"
}

command -v desktop-file-validate >/dev/null || {
    echo "SKIP: desktop-file-validate is not installed (desktop-file-utils)"
    exit 77
}

rm -rf "$work"
mkdir -p "$work"

# entry_value <desktop file> <key>: the value in the [Desktop Entry] group.
entry_value() {
    sed -n "/^\[Desktop Entry\]/,/^\[/ s/^$2=//p" "$1" | head -1
}

# png_size <file>: "WIDTHxHEIGHT" from the PNG header, or nothing when it is no PNG.
png_size() {
    [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || return 0
    local width height
    width=$(od -An -tu4 --endian=big -j 16 -N 4 "$1" | tr -d ' ')
    height=$(od -An -tu4 --endian=big -j 20 -N 4 "$1" | tr -d ' ')
    echo "${width}x$height"
}

# check_tree <root> <prefix>: the installed layout under root+prefix.
check_tree() {
    local root=$1 prefix=$2
    local top=$root$prefix
    local data=$top/share/lumora

    [ -x "$top/bin/lumora" ] && ok "$prefix/bin/lumora" || fail "no player at $prefix/bin/lumora"

    local shipped=0 file
    for file in "$source"/data/*; do
        case "${file,,}" in
        *.mid | *.gif | *.jpg) ;;
        *) continue ;;
        esac
        shipped=$((shipped + 1))
        cmp -s "$file" "$data/$(basename "$file")" ||
            fail "$prefix/share/lumora/$(basename "$file") is missing or differs from data/"
    done
    local installed
    installed=$(find "$data" -maxdepth 1 -type f | wc -l)
    [ "$shipped" -gt 0 ] && [ "$installed" -eq "$shipped" ] &&
        ok "$installed skin pictures and songs in $prefix/share/lumora" ||
        fail "$installed files in $prefix/share/lumora for $shipped in data/"

    local icon=$top/share/icons/hicolor/48x48/apps/lumora.png
    if [ -f "$source/packaging/lumora.png" ]; then
        [ "$(png_size "$icon" 2>/dev/null)" = 48x48 ] && ok "a 48x48 PNG icon" ||
            fail "no 48x48 PNG at $prefix/share/icons/hicolor/48x48/apps/lumora.png"
    fi

    local entry=$top/share/applications/lumora.desktop
    if [ ! -f "$entry" ]; then
        fail "no desktop entry at $prefix/share/applications/lumora.desktop"
        return
    fi
    desktop-file-validate "$entry" && ok "desktop-file-validate accepts the entry" ||
        fail "desktop-file-validate rejects $prefix/share/applications/lumora.desktop"
    local key want
    while IFS='|' read -r key want; do
        [ "$(entry_value "$entry" "$key")" = "$want" ] && ok "$key=$want" ||
            fail "$key=$(entry_value "$entry" "$key") instead of $key=$want"
    done <<EOF
Type|Application
Exec|lumora %f
Icon|lumora
Path|
Categories|AudioVideo;Audio;Player;Midi;
MimeType|audio/midi;audio/x-midi;
EOF
}

# ---- cmake --install, at the packaging prefix and at another one chosen at install time.
for prefix in /usr /opt/lumora-check; do
    DESTDIR="$work/root" cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
        { cat "$work/install.log" >&2; fail "cmake --install --prefix $prefix failed"; continue; }
    check_tree "$work/root" "$prefix"
done

# ---- The Debian package.
if command -v cpack >/dev/null && command -v dpkg-deb >/dev/null; then
    if cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1; then
        deb=$(find "$work/deb" -maxdepth 1 -name 'lumora_*.deb' | head -1)
        [ -n "$deb" ] || fail "cpack made no lumora_*.deb"
    else
        cat "$work/cpack.log" >&2
        fail "cpack -G DEB failed"
        deb=
    fi
    if [ -n "$deb" ]; then
        ok "cpack made $(basename "$deb")"
        [ "$(dpkg-deb -f "$deb" Package)" = lumora ] && ok "Package: lumora" || fail "Package name"
        [ "$(dpkg-deb -f "$deb" Maintainer)" = "Lumora developers" ] && ok "Maintainer" ||
            fail "Maintainer: $(dpkg-deb -f "$deb" Maintainer)"
        depends=$(dpkg-deb -f "$deb" Depends)
        for want in libqt6widgets6 libfluidsynth3 libpulse0 "fluid-soundfont-gm | timgm6mb-soundfont" \
            fonts-liberation; do
            case ", $depends," in
            *", $want"[\ ,]*) ok "Depends on $want" ;;
            *) fail "Depends lacks $want: $depends" ;;
            esac
        done
        mkdir -p "$work/deb/root"
        dpkg-deb -x "$deb" "$work/deb/root"
        check_tree "$work/deb/root" /usr
    fi
else
    echo "note: cpack or dpkg-deb is missing; the .deb is not checked"
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures checks failed" >&2
    exit 1
fi
echo PASS
