#!/usr/bin/env bash
# Installs the build tree into a fresh prefix and runs the installed snapshot
# launcher from other directories: with none of its own pictures, with an
# incomplete data/ (still the installed pictures) and with a complete data/ of
# its own (shown instead).
#   install_test.sh BUILD_DIR GOLDEN_START_VIEW
set -euo pipefail
build=$1
golden=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() {
    echo "install_test: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null

# Exactly the programs, launchers, pictures, desktop entry, icon, copyright and
# changelog: no tests, no benchmark.
expected="bin/tollmere
bin/tollmere-snapshot
libexec/tollmere/tollmere
libexec/tollmere/tollmere-snapshot
share/applications/tollmere.desktop
share/doc/tollmere/changelog.gz
share/doc/tollmere/copyright
share/icons/hicolor/256x256/apps/tollmere.png
share/tollmere/data/Forward.tga
share/tollmere/data/Left.tga
share/tollmere/data/Rear.tga
share/tollmere/data/Right.tga
share/tollmere/data/brick.tga
share/tollmere/data/sign.tga
share/tollmere/data/skyme.tga"
installed=$(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$installed" = "$expected" ] || fail "installed files differ:"$'\n'"$(diff <(echo "$expected") <(echo "$installed"))"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/tollmere.desktop"
fi

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
echo "install_test: installed tree and launchers work"
