#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# CHANGELOG.md into the package's Debian changelog: releases come out as
# entries dpkg reads back, signed on the right day of the week; a file that
# does not keep the form is refused with the line at fault.
#   debian_changelog_test.sh CONVERTER_AWK
set -euo pipefail
converter=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
    echo "debian_changelog_test: $*" >&2
    failures=$((failures + 1))
}

convert() {
    awk -v package=tollmere -v maintainer='Jane Doe <jane@example.net>' -f "$converter" "$work/CHANGELOG.md"
}

# Two releases with items over several lines, after an introduction that stays out.
cat >"$work/CHANGELOG.md" <<'EOF'
# Changelog

Every release, newest first.

## 1.1.0 - 2028-02-29

- Second release, on a leap day.

- Pictures load faster: they are
  read in one go.
## 1.0.0 - 2026-12-09
- First release.
EOF
cat >"$work/expected" <<'EOF'
tollmere (1.1.0) unstable; urgency=medium

  * Second release, on a leap day.
  * Pictures load faster: they are
    read in one go.

 -- Jane Doe <jane@example.net>  Tue, 29 Feb 2028 00:00:00 +0000

tollmere (1.0.0) unstable; urgency=medium

  * First release.

 -- Jane Doe <jane@example.net>  Wed, 09 Dec 2026 00:00:00 +0000
EOF
if ! convert >"$work/changelog" 2>"$work/errors"; then
    fail "a good CHANGELOG.md was refused: $(cat "$work/errors")"
elif ! diff -u "$work/expected" "$work/changelog" >"$work/diff"; then
    fail "a good CHANGELOG.md came out differently:"$'\n'"$(cat "$work/diff")"
else
    versions=$(dpkg-parsechangelog -l "$work/changelog" --format rfc822 --all 2>"$work/errors" \
        | sed -n 's/^Version: //p' | tr '\n' ' ')
    if [ "$versions" != "1.1.0 1.0.0 " ] || [ -s "$work/errors" ]; then
        fail "dpkg-parsechangelog reads versions '$versions': $(cat "$work/errors")"
    fi
fi

# The day of the week across leap years and the turns of months, years and centuries.
for day in 1999-12-31 2000-01-01 2000-02-29 2000-03-01 2024-02-29 2026-01-01 2026-03-01 2100-02-28 2100-03-01; do
    printf '## 1.0 - %s\n- x\n' "$day" >"$work/CHANGELOG.md"
    signed=$(convert | sed -n 's/^ -- .*>  //p')
    expected=$(TZ=UTC0 LC_ALL=C date -R -d "$day")
    [ "$signed" = "$expected" ] || fail "$day signed as '$signed', not '$expected'"
done

# refused LINE REASON: the CHANGELOG.md in $work is refused, naming LINE and REASON.
refused() {
    if convert >/dev/null 2>"$work/errors"; then
        fail "not refused (expected line $1: $2):"$'\n'"$(cat "$work/CHANGELOG.md")"
    elif ! grep -q "CHANGELOG\.md:$1: .*$2" "$work/errors"; then
        fail "refused with '$(cat "$work/errors")', expected line $1: $2"
    fi
}
printf '# Changelog\n\nNo releases yet.\n' >"$work/CHANGELOG.md"
refused 3 "no release"
printf '## 1.0.0 (2026-12-09)\n- x\n' >"$work/CHANGELOG.md"
refused 1 "a release heading is"
printf '## 1.0.0 - 2026-02-29\n- x\n' >"$work/CHANGELOG.md"
refused 1 "no such date: 2026-02-29"
printf '## 1.0.0 - 2026-13-01\n- x\n' >"$work/CHANGELOG.md"
refused 1 "no such date"
printf '## 1.1.0 - 2027-01-01\n\n## 1.0.0 - 2026-12-09\n- x\n' >"$work/CHANGELOG.md"
refused 3 "the release 1.1.0 above has no items"
printf '## 1.0.0 - 2026-12-09\n- x\n## 1.1.0 - 2027-01-01\n- y\n' >"$work/CHANGELOG.md"
refused 3 "newest first"
printf '## 1.0.0 - 2026-12-09\nA paragraph.\n' >"$work/CHANGELOG.md"
refused 2 "a line is an item"
printf '## 1.0.0 - 2026-12-09\n- x\n * a nested item\n' >"$work/CHANGELOG.md"
refused 3 "a line is an item"
printf '## 1.0.0 - 2026-12-09\n- %079d\n' 0 >"$work/CHANGELOG.md"
refused 2 "longer than 78 characters"

[ "$failures" -eq 0 ] || exit 1
echo "debian_changelog_test: good changelogs converted, bad ones refused"
