# SPDX-License-Identifier: MIT
# Writes CHANGELOG.md as a Debian changelog: each "## VERSION - YYYY-MM-DD"
# heading becomes an entry signed by the maintainer on that day, its "- "
# items "  * " items. The text before the first heading is for readers of the
# Markdown only. Anything else is refused with the line it is on, so that
# nothing is lost or garbled on the way into the package.
#   awk -v package=NAME -v maintainer='NAME <ADDRESS>' -f debian-changelog.awk CHANGELOG.md

function fail(message) {
    printf "%s:%d: %s\n", FILENAME, FNR, message > "/dev/stderr"
    failed = 1
    exit 1
}

# 0 for Sunday (Sakamoto's method, Gregorian calendar).
function weekday(year, month, day,    offsets) {
    split("0 3 2 5 0 3 5 1 4 6 2 4", offsets, " ")
    if (month < 3)
        year -= 1
    return (year + int(year / 4) - int(year / 100) + int(year / 400) + offsets[month] + day) % 7
}

function daysIn(year, month) {
    if (month == 2)
        return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0 ? 29 : 28
    return month == 4 || month == 6 || month == 9 || month == 11 ? 30 : 31
}

function sign() {
    if (entries > 0)
        printf "\n -- %s  %s\n", maintainer, signedOn
}

BEGIN {
    split("Sun Mon Tue Wed Thu Fri Sat", dayNames, " ")
    split("Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec", monthNames, " ")
    if (package == "" || maintainer == "")
        fail("usage: awk -v package=NAME -v maintainer='NAME <ADDRESS>' -f debian-changelog.awk CHANGELOG.md")
}

length($0) > 78 {
    fail("longer than 78 characters: the package's changelog keeps its lines within 80")
}

/^## / {
    if ($0 !~ /^## [0-9][0-9A-Za-z.+~]* - [0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$/)
        fail("a release heading is '## VERSION - YYYY-MM-DD', not '" $0 "'")
    if (entries > 0 && !items)
        fail("the release " version " above has no items")
    split($4, date, "-")
    year = date[1] + 0
    month = date[2] + 0
    day = date[3] + 0
    if (month < 1 || month > 12 || day < 1 || day > daysIn(year, month))
        fail("no such date: " $4)
    if (entries > 0 && $4 > lastDate)
        fail("release " $2 " is dated after the one above it: newest first")
    sign()
    if (entries > 0)
        print ""
    version = $2
    lastDate = $4
    signedOn = sprintf("%s, %02d %s %04d 00:00:00 +0000", dayNames[weekday(year, month, day) + 1], day,
                       monthNames[month], year)
    printf "%s (%s) unstable; urgency=medium\n\n", package, version
    entries++
    items = 0
    next
}

entries == 0 || /^[ \t]*$/ {
    next
}

/^- / {
    print "  * " substr($0, 3)
    items++
    next
}

/^  [^ \t]/ && items {
    print "    " substr($0, 3)
    next
}

{
    fail("inside a release, a line is an item ('- ') or continues one (two spaces)")
}

END {
    if (failed)
        exit 1
    if (entries == 0)
        fail("no release: expected a heading '## VERSION - YYYY-MM-DD'")
    if (!items)
        fail("the release " version " has no items")
    sign()
}
