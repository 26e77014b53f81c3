#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the build tree into a fresh prefix and runs the installed snapshot
# launcher from other directories: with none of its own pictures, with an
# incomplete data/ (still the installed pictures) and with a complete data/ of
# its own (shown instead). Checks the manual pages, the launchers' --help and
# --version and the programs as installed, then the Debian package cpack makes
# of the same: its files and its control fields.
#   install_test.sh BUILD_DIR GOLDEN_START_VIEW VERSION HARDENED(1 or 0) "PICTURE..."
set -euo pipefail
build=$1
golden=$2
version=$3
hardened=$4
read -r -a pictures <<<"$5" # the seven file names, as the enclosure draws them
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() {
    echo "install_test: $*" >&2
    exit 1
}

[ ${#pictures[@]} -eq 7 ] || fail "seven pictures expected, not: ${pictures[*]}"
cmake --install "$build" --prefix "$prefix" >/dev/null

# Exactly the programs, launchers, pictures, desktop entry, icon, manual pages,
# copyright and changelog: no tests, no benchmark.
expected="bin/tollmere
bin/tollmere-snapshot
libexec/tollmere/tollmere
libexec/tollmere/tollmere-snapshot
share/applications/tollmere.desktop
share/doc/tollmere/changelog.gz
share/doc/tollmere/copyright
share/icons/hicolor/256x256/apps/tollmere.png
share/man/man1/tollmere-snapshot.1.gz
share/man/man1/tollmere.1.gz
$(printf 'share/tollmere/data/%s\n' "${pictures[@]}" | LC_ALL=C sort)"
installed=$(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$installed" = "$expected" ] || fail "installed files differ:"$'\n'"$(diff <(echo "$expected") <(echo "$installed"))"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/tollmere.desktop"
fi

# The manual pages render without a warning, each for this version.
for page in tollmere tollmere-snapshot; do
    gunzip -c "$prefix/share/man/man1/$page.1.gz" >"$work/$page.1"
    warnings=$(groff -mandoc -ww -z -Tutf8 "$work/$page.1" 2>&1)
    [ -z "$warnings" ] || fail "$page(1) renders with warnings:"$'\n'"$warnings"
    grep -q "^\.TH .*\"Tollmere $version\"" "$work/$page.1" || fail "$page(1) is not for version $version"
done

# --help and --version are answered by the launchers, without a window: with no
# display, the programs themselves would fail. Other arguments still reach them.
for launcher in tollmere tollmere-snapshot; do
    answer=$(cd "$work" && env -u DISPLAY "$prefix/bin/$launcher" --version) \
        || fail "$launcher --version failed"
    [ "$answer" = "tollmere $version" ] || fail "$launcher --version said '$answer'"
    answer=$(cd "$work" && env -u DISPLAY "$prefix/bin/$launcher" --help) || fail "$launcher --help failed"
    [[ $answer == "Usage: $launcher "* && $answer == *"$prefix/share/tollmere/data"* ]] \
        || fail "$launcher --help said:"$'\n'"$answer"
done
[ ! -e "$work/tollmere.png" ] || fail "tollmere-snapshot --help wrote a picture"
status=0
(cd "$work" && env -u DISPLAY "$prefix/bin/tollmere" --no-such-option >/dev/null 2>&1) || status=$?
[ "$status" -eq 1 ] || fail "tollmere --no-such-option did not reach the viewer (status $status, not 1: no display)"

# The installed programs carry no .comment section, and hardened builds have
# Debian's flags' marks: immediate binding, the stack protector's and
# fortified functions.
for program in "$prefix"/libexec/tollmere/*; do
    ! readelf -S -W "$program" | grep -q ' \.comment ' || fail "$program keeps its .comment section"
    if [ "$hardened" = 1 ]; then
        readelf -d -W "$program" | grep -q 'FLAGS.*BIND_NOW' || fail "$program is not linked with -z now"
        symbols=$(readelf --dyn-syms -W "$program")
        grep -q ' __stack_chk_fail' <<<"$symbols" || fail "$program has no stack protector"
        grep -Eq ' __[a-z]+_chk' <<<"$symbols" || fail "$program has no fortified functions"
    fi
done

# snapshot DIR ARGS...: the installed launcher run in DIR, found through PATH.
snapshot() {
    (cd "$1" && shift && env -u DISPLAY ASAN_OPTIONS=detect_leaks=0 PATH="$prefix/bin:$PATH" \
        tollmere-snapshot "$@" >/dev/null)
}

mkdir -p "$work/user/sub"
snapshot "$work/user/sub" --out ../start.png
cmp -s "$work/user/start.png" "$golden" || fail "the start view from the installed pictures is not the golden one"
snapshot "$work/user" --steps 1
[ -f "$work/user/tollmere.png" ] || fail "without --out the PNG is not in the working directory"
[ ! -e "$prefix/share/tollmere/tollmere.png" ] || fail "a PNG was written into the installed pictures' folder"

# Six of the seven pictures are not enough to replace the installed ones.
mkdir -p "$work/own/data"
cp "$prefix"/share/tollmere/data/*.tga "$work/own/data/"
rm "$work/own/data/sign.tga"
snapshot "$work/own" --out incomplete.png
cmp -s "$work/own/incomplete.png" "$golden" || fail "an incomplete data/ was used"

# All seven, the rear wall another picture: shown instead of the installed ones.
cp "$prefix/share/tollmere/data/brick.tga" "$work/own/data/sign.tga"
cp "$prefix/share/tollmere/data/Left.tga" "$work/own/data/Rear.tga"
snapshot "$work/own" --out "$work/own/complete.png"
! cmp -s "$work/own/complete.png" "$golden" || fail "the working directory's own data/ was not used"

# The Debian package: the same files under /usr, and the control fields a user
# and apt see. The maintainer is the one the changelog is signed by.
(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) \
    || fail "cpack failed:"$'\n'"$(cat "$work/cpack.log")"
deb=$(echo "$work"/package/tollmere_*.deb)
[ -f "$deb" ] || fail "cpack made no tollmere_*.deb"
packaged=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | LC_ALL=C sort)
expected_packaged=$(while read -r file; do echo "usr/$file"; done <<<"$expected")
[ "$packaged" = "$expected_packaged" ] \
    || fail "packaged files differ:"$'\n'"$(diff <(echo "$expected_packaged") <(echo "$packaged"))"
# As reproducible builds want them: every entry root's, directories and
# programs 0755, other files 0644, and all of one time.
odd=$(dpkg-deb -c "$deb" | awk '
    $2 != "root/root" { print "owner " $2 ": " $6 }
    $1 ~ /^d/ && $1 != "drwxr-xr-x" { print "mode " $1 ": " $6 }
    $1 ~ /^-/ && $6 ~ /^\.\/usr\/(bin|libexec)\// && $1 != "-rwxr-xr-x" { print "mode " $1 ": " $6 }
    $1 ~ /^-/ && $6 !~ /^\.\/usr\/(bin|libexec)\// && $1 != "-rw-r--r--" { print "mode " $1 ": " $6 }')
[ -z "$odd" ] || fail "packaged entries are not as Debian wants them:"$'\n'"$odd"
times=$(dpkg-deb -c "$deb" | awk '{ print $4, $5 }' | sort -u)
[ "$(wc -l <<<"$times")" -eq 1 ] || fail "packaged entries carry more than one time:"$'\n'"$times"
field() {
    dpkg-deb -f "$deb" "$1"
}
[ "$(field Package)" = tollmere ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = graphics ] || fail "Section: $(field Section)"
[ "$(field Priority)" = optional ] || fail "Priority: $(field Priority)"
[[ $(field Description) == "small 3-D viewer of one pictured scene"$'\n'* ]] \
    || fail "Description: $(field Description)"
# Run, not linked: the snapshot tool's X server and renderer; the rest dpkg-shlibdeps found.
depends=$(field Depends)
for dependency in xvfb libgl1-mesa-dri 'libc6 (>= ' libglut libglu1-mesa libx11-6; do
    [[ ", $depends," == *", $dependency"* ]] || fail "Depends lacks $dependency: $depends"
done
dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$work/package" ./usr/share/doc/tollmere
gunzip -c "$work/package/usr/share/doc/tollmere/changelog.gz" >"$work/changelog"
[ "$(dpkg-parsechangelog -l "$work/changelog" -S Version)" = "$version" ] \
    || fail "the changelog's newest entry is not $version"
[ "$(dpkg-parsechangelog -l "$work/changelog" -S Maintainer)" = "$(field Maintainer)" ] \
    || fail "Maintainer: $(field Maintainer), but the changelog is signed by someone else"
head -n1 "$work/package/usr/share/doc/tollmere/copyright" \
    | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    || fail "the copyright file is not machine-readable (DEP-5)"
echo "install_test: installed tree, launchers and package work"
