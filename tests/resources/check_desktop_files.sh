#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Validates one of the files installed for the desktop with the tool the
# desktop itself uses, and checks that the files agree with each other and
# with the program's version. Exits 77 (skipped) when the tool is missing.
#   check_desktop_files.sh desktop|metainfo|mime|man <resources/desktop> <version>
set -u
what=$1
dir=$2
version=$3
desktop=$dir/kelvo-gongche.desktop
metainfo=$dir/example.kelvo.gongche.metainfo.xml
mime=$dir/kelvo-gongche.xml
manpage=$dir/kelvo-gongche.1
mimetype=application/x-kelvo-gongche-score

skip() { echo "SKIP: $1 is not installed"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }
have() { command -v "$1" >/dev/null 2>&1; }

# Any message counts: hints and warnings become real faults on some desktop.
# QUIET_DISCARD_STDOUT=1 keeps only the messages of a tool that prints its
# result on standard output.
quiet() {
    if [ "${QUIET_DISCARD_STDOUT:-}" = 1 ]; then
        out=$("$@" 2>&1 >/dev/null)
    else
        out=$("$@" 2>&1)
    fi || fail "$* failed:
$out"
    [ -z "$out" ] || fail "$* reported:
$out"
}

case $what in
desktop)
    have desktop-file-validate || skip desktop-file-validate
    quiet desktop-file-validate "$desktop"
    grep -qx "MimeType=$mimetype;" "$desktop" || fail "$desktop does not offer $mimetype"
    grep -qx "Exec=kelvo-gongche %f" "$desktop" || fail "$desktop does not start kelvo-gongche"
    ;;
metainfo)
    have appstreamcli || skip appstreamcli
    # The reverse-DNS id under a reserved domain is only an info; warnings
    # and errors make the validator fail.
    out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli:
$out"
    grep -q "<release version=\"$version\"" "$metainfo" || fail "$metainfo has no release $version"
    grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo" \
        || fail "$metainfo does not launch $(basename "$desktop")"
    grep -q "<mediatype>$mimetype</mediatype>" "$metainfo" || fail "$metainfo does not provide $mimetype"
    ;;
mime)
    have update-mime-database || skip update-mime-database
    work=$(mktemp -d) || fail "no temporary folder"
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/mime/packages" && cp "$mime" "$work/mime/packages/"
    # The tool always exits 0; a parse error or a bad element shows on stderr.
    XDG_DATA_HOME=$work quiet update-mime-database "$work/mime"
    grep -q 'pattern="\*.gcp"' "$work/mime/$mimetype.xml" 2>/dev/null \
        || fail "update-mime-database registered no *.gcp glob for $mimetype"
    ;;
man)
    if have man; then
        QUIET_DISCARD_STDOUT=1 quiet man --warnings -E UTF-8 -l -Tutf8 -Z "$manpage"
    elif have groff; then
        QUIET_DISCARD_STDOUT=1 quiet groff -ww -z -man -Tutf8 "$manpage"
    else
        skip "man or groff"
    fi
    grep -q "^\.TH KELVO-GONGCHE 1 .*\"kelvo-gongche $version\"" "$manpage" \
        || fail "$manpage does not name version $version"
    ;;
*)
    fail "unknown check $what"
    ;;
esac
echo "OK: $what"
