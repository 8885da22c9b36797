#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR, at two prefixes, and checks what a user's system gets:
# the player, every skin picture and demo song, the icons, a valid desktop entry that opens MIDI
# files (the player finds its data folder itself, from any working directory), AppStream metadata
# that a software centre accepts and manual pages that render and describe every option of each
# program's --help. Then, when CPack and dpkg-deb are there, the .deb's control fields and
# contents, with lintian's verdict when lintian is installed, and that the packages it depends on
# hold the faces the window asks for.
# Usage: check_install.sh <build folder> <source folder> <scratch folder>
# Exits 77 (skipped) without desktop-file-validate; the other tools' checks are skipped with a
# note when the tool is missing.
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
note() {
    echo "note: $*"
}

app_id=org.example.Lumora
# The sound module's private folder under the prefix, as the build installs it.
module_folder=$(sed -n 's/^LUMORA_SOUND_MODULE_DESTINATION:INTERNAL=//p' "$build/CMakeCache.txt")
[ -n "$module_folder" ] || module_folder=lib/lumora

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

# check_metainfo <top> <prefix>: the software centres' metadata, for the desktop entry's id.
check_metainfo() {
    local top=$1 prefix=$2
    local metainfo=$top/share/metainfo/$app_id.metainfo.xml
    if [ ! -f "$metainfo" ]; then
        fail "no AppStream metadata at $prefix/share/metainfo/$app_id.metainfo.xml"
        return
    fi
    grep -q "<id>$app_id</id>" "$metainfo" &&
        grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" &&
        ok "the metadata names $app_id and its desktop entry" ||
        fail "the metadata's id or launchable is not $app_id"
    local type
    for type in audio/midi audio/x-midi; do
        grep -q "<mediatype>$type</mediatype>" "$metainfo" || fail "the metadata lacks $type"
    done
    if command -v appstreamcli >/dev/null; then
        appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 &&
            ok "appstreamcli validate accepts the metadata" ||
            { cat "$work/appstream.log" >&2; fail "appstreamcli validate rejects the metadata"; }
    else
        note "appstreamcli is not installed (appstream): the metadata is not validated"
    fi
}

# help_options <program>: every long and short option its --help lists, one a line.
help_options() {
    "$1" --help 2>/dev/null | grep -oE '^ +(-[a-zA-Z], )?--[a-z-]+' | tr ',' '\n' | tr -d ' '
}

# check_manuals <top> <prefix>: a manual page for each program, which renders without warnings
# and names every option of the program's --help.
check_manuals() {
    local top=$1 prefix=$2
    local renderer=
    if command -v groff >/dev/null; then
        renderer=groff
    else
        note "groff is not installed (groff-base): the manual pages are not rendered"
    fi
    local program page text option before
    for program in lumora lumora-render lumora-midi-info; do
        page=$top/share/man/man1/$program.1.gz
        if [ ! -f "$page" ]; then
            fail "no manual page at $prefix/share/man/man1/$program.1.gz"
            continue
        fi
        [ -n "$renderer" ] || continue
        if ! text=$(gzip -dc "$page" | groff -man -Tutf8 -ww -z 2>&1) || [ -n "$text" ]; then
            fail "$program(1) does not render cleanly: $text"
            continue
        fi
        # Plain ASCII, unhyphenated, on long lines: options read as typed.
        text=$(gzip -dc "$page" | groff -man -Tascii -rHY=0 -rLL=300n 2>/dev/null | sed 's/.\x08//g')
        before=$failures
        for option in $(help_options "$top/bin/$program") LUMORA_SOUNDFONT; do
            # The tools only speak of the variable to say that they ignore it.
            grep -q -- "$option" <<<"$text" || fail "$program(1) does not mention $option"
        done
        [ "$failures" -gt "$before" ] || ok "$program(1) renders and names every option of $program --help"
    done
    local help
    help=$(help_options "$top/bin/lumora" | tr '\n' ' ')
    case $help in
    *--soundfont*--* | *--*--soundfont*) ;;
    *) fail "lumora --help lists no --soundfont among: $help" ;;
    esac
}

# check_tree <root> <prefix>: the installed layout under root+prefix.
check_tree() {
    local root=$1 prefix=$2
    local top=$root$prefix
    local data=$top/share/lumora

    [ -x "$top/bin/lumora" ] && ok "$prefix/bin/lumora" || fail "no player at $prefix/bin/lumora"
    # The player finds its sound module from bin/, in the private folder beside it.
    local module=$top/$module_folder/lumora-sound.so
    if [ -f "$module" ] && readelf -d "$module" | grep -q 'NEEDED.*libfluidsynth'; then
        ok "$prefix/$module_folder/lumora-sound.so, linked with FluidSynth"
    else
        fail "no sound module linked with FluidSynth at $prefix/$module_folder/lumora-sound.so"
    fi

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

    local size icon before=$failures
    for size in 16 24 32 48 64 128 256; do
        icon=$top/share/icons/hicolor/${size}x$size/apps/lumora.png
        [ "$(png_size "$icon" 2>/dev/null)" = "${size}x$size" ] ||
            fail "no ${size}x$size PNG at $prefix/share/icons/hicolor/${size}x$size/apps/lumora.png"
    done
    [ "$failures" -gt "$before" ] || ok "PNG icons from 16x16 to 256x256"
    icon=$top/share/icons/hicolor/scalable/apps/lumora.svg
    grep -q "<svg" "$icon" 2>/dev/null && ok "a scalable SVG icon" ||
        fail "no SVG at $prefix/share/icons/hicolor/scalable/apps/lumora.svg"

    check_metainfo "$top" "$prefix"
    check_manuals "$top" "$prefix"

    local entry=$top/share/applications/$app_id.desktop
    if [ ! -f "$entry" ]; then
        fail "no desktop entry at $prefix/share/applications/$app_id.desktop"
        return
    fi
    desktop-file-validate "$entry" && ok "desktop-file-validate accepts the entry" ||
        fail "desktop-file-validate rejects $prefix/share/applications/$app_id.desktop"
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

# font_package <family>: the Debian package holding the face fontconfig draws for the family,
# when it is that family.
font_package() {
    local file
    file=$(fc-match -f '%{file}' "$1") || return 0
    [ "$(fc-match -f '%{family[0]}' "$1")" = "$1" ] || return 0
    dpkg-query -S "$(readlink -f "$file")" 2>/dev/null | cut -d: -f1 | head -1
}

# check_deb_extras <deb> <unpacked root> <Depends>: what Debian's tools ask of a package beyond
# its files: copyright and changelog, stripped binaries, lintian's verdict, and dependencies on
# the faces the window asks for by name (the label's and the menus').
check_deb_extras() {
    local deb=$1 root=$2 depends=$3
    local doc=$root/usr/share/doc/lumora
    head -1 "$doc/copyright" 2>/dev/null | grep -q "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" &&
        grep -q "^License: Expat" "$doc/copyright" && ok "a machine-readable copyright file" ||
        fail "no machine-readable copyright file in /usr/share/doc/lumora"
    gzip -dc "$doc/changelog.Debian.gz" 2>/dev/null |
        grep -q "^lumora ($(dpkg-deb -f "$deb" Version)) " && ok "changelog.Debian.gz for this version" ||
        fail "no changelog.Debian.gz naming version $(dpkg-deb -f "$deb" Version)"
    local binary
    for binary in bin/lumora bin/lumora-render bin/lumora-midi-info $module_folder/lumora-sound.so; do
        if command -v readelf >/dev/null && readelf -S "$root/usr/$binary" | grep -q "\.debug_\|\.symtab"; then
            fail "/usr/$binary is not stripped"
        fi
    done

    if command -v fc-match >/dev/null && command -v dpkg-query >/dev/null; then
        local family package
        for family in "Liberation Sans Narrow" "DejaVu Sans"; do
            package=$(font_package "$family")
            if [ -z "$package" ]; then
                fail "the face $family is not installed here"
            else
                case ", $depends," in
                *", $package"[\ ,]*) ok "$family comes from $package, a dependency" ;;
                *) fail "$family comes from $package, which the package does not depend on" ;;
                esac
            fi
        done
    else
        note "fc-match or dpkg-query is missing: the faces' packages are not checked"
    fi

    if command -v lintian >/dev/null; then
        lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
        if grep -q "^E: " "$work/lintian.log"; then
            cat "$work/lintian.log" >&2
            fail "lintian reports $(grep -c "^E: " "$work/lintian.log") errors"
        else
            ok "lintian: no errors ($(grep -c "^W: " "$work/lintian.log") warnings)"
        fi
    else
        note "lintian is not installed: the package is not checked by it"
    fi
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
        [ "$(dpkg-deb -f "$deb" Maintainer)" = "Lumora developers <lumora@example.org>" ] &&
            ok "Maintainer" || fail "Maintainer: $(dpkg-deb -f "$deb" Maintainer)"
        depends=$(dpkg-deb -f "$deb" Depends)
        # The linked libraries with the versions dpkg-shlibdeps computed from the symbols used.
        for want in libqt6widgets6 libfluidsynth3 libpulse0; do
            case ", $depends," in
            *", $want (>= "[0-9]*")"[,\ ]*) ok "Depends on $want with a computed version" ;;
            *) fail "Depends lacks $want (>= version): $depends" ;;
            esac
        done
        for want in "fluid-soundfont-gm | timgm6mb-soundfont" fonts-liberation fonts-dejavu-core; do
            case ", $depends," in
            *", $want"[\ ,]*) ok "Depends on $want" ;;
            *) fail "Depends lacks $want: $depends" ;;
            esac
        done
        mkdir -p "$work/deb/root"
        dpkg-deb -x "$deb" "$work/deb/root"
        check_tree "$work/deb/root" /usr
        check_deb_extras "$deb" "$work/deb/root" "$depends"
    fi
else
    echo "note: cpack or dpkg-deb is missing; the .deb is not checked"
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures checks failed" >&2
    exit 1
fi
echo PASS
