#!/usr/bin/env bash
# Installs a build into a staging folder (DESTDIR) and checks what a user
# gets there: drennow runs, its manual page is in section 1, renders without
# a warning and names every option that drennow --help lists, and each other
# file given is in place.
#   check-install.sh CMAKE BUILD_DIR BIN_DIR MAN_DIR [FILE...]
# The folders and files are the absolute paths that the installation uses.
set -euo pipefail
cmake=$1 build=$2 bindir=$3 mandir=$4
shift 4

fail() {
  echo "check-install: $*" >&2
  exit 1
}

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage "$cmake" --install "$build" >/dev/null

program=$stage$bindir/drennow
[ -x "$program" ] || fail "no program at $bindir/drennow"
help=$("$program" --help) || fail "drennow --help failed"
version=$("$program" --version) || fail "drennow --version failed"
mapfile -t options < <(grep -oE -- '--[a-z0-9][a-z0-9-]*' <<<"$help" | sort -u)
[ ${#options[@]} -gt 0 ] || fail "drennow --help lists no option"

page=$stage$mandir/man1/drennow.1
[ -f "$page" ] || fail "no manual page at $mandir/man1/drennow.1"
[[ $(grep -m 1 '^\.TH ' "$page") == '.TH DRENNOW "1" '* ]] || fail "drennow.1 has no section 1 header"
# Plain text on long lines: no option is broken over two.
rendered=$(LC_ALL=C groff -man -Tascii -ww -rLL=200n -P-cbou "$page" 2>"$stage/warnings")
[ ! -s "$stage/warnings" ] || fail "drennow.1 renders with warnings: $(cat "$stage/warnings")"
grep -q "^NAME" <<<"$rendered" || fail "drennow.1 renders without a NAME section"
grep -qF "$version" <<<"$rendered" || fail "drennow.1 is not of $version"
for option in "${options[@]}"; do
  grep -qF -- "$option" <<<"$rendered" || fail "drennow.1 does not name $option"
done

for file in "$@"; do
  [ -f "$stage$file" ] || fail "$file was not installed"
done
echo "check-install: drennow, its manual page (${#options[@]} options) and $# other files installed"
