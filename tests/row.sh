#!/usr/bin/env bash
# One row of the suite, run in the row's own folder: the helpers a row may call, what it needs,
# what is there before, the one run of Tarvix (its output in .out and .err), and what is on disk
# before and after it once all it started has ended. The runner gives the row in the variables
# TARVIX_ROW_NEEDS, TARVIX_ROW_GIVEN, TARVIX_ROW_RUN and TARVIX_ROW_CHANGES (the files the row
# expects to change, one a line). Exits 77 where the row skips, 90 where its folder could not be
# made ready (.given says why), and otherwise with the status of the run.

# shellcheck disable=SC2317  # the helpers are called from the row's own text, through eval
skip() { echo "$*" >&2; exit 77; }
need() { for x; do [ -e "$x" ] || command -v "$x" >/dev/null || skip "needs $x"; done; }
unwrapped() { [ -z "$TARVIX_TEST_WRAPPER$TARVIX_TEST_SANITIZED" ] || skip "$@"; }
not_under() { case $TARVIX_TEST_WRAPPER in *$1*) shift; skip "$@" ;; esac; }
only_under() { case $TARVIX_TEST_WRAPPER in *$1*) ;; *) shift; skip "$@" ;; esac; }
root() { [ "$(id -u)" = 0 ] || skip "$@"; }
tarvix() { $TARVIX_TEST_WRAPPER "$TARVIX_TEST_BINARY" "$@"; }
export -f tarvix
set -o pipefail

# Its transcript is the output; Wine's console shows and hides its cursor.
on_a_terminal() {
  LC_ALL=C.UTF-8 SHELL=/bin/bash script -qec "$1" /dev/null |
    case $TARVIX_TEST_WRAPPER in *wine*) sed 's/\x1b\[?25[hl]//g' ;; *) cat ;; esac
}
# As nobody where the rows run as root, and `unprivileged` prepared the folder.
as_user() {
  [ "$(id -u)" != 0 ] && { "$@"; return; }
  setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups bash -c '"$@"' - "$@"
}
# Nobody gets the folder, r.rpl and a copy of the binary, wherever the clone lies.
unprivileged() {
  not_under wine Wine keeps a prefix per user
  [ "$(id -u)" != 0 ] && return
  need setpriv
  cp "$TARVIX_TEST_BINARY" .tarvix && chmod -R o+rX . && export TARVIX_TEST_BINARY=$PWD/.tarvix
}
# A loop device over the file $1, in L, and a link $2 to it.
loop_over() {
  not_under wine Windows has no block devices
  need losetup
  L=$(losetup -f --show "$1" 2>/dev/null) || skip no loop device here
  ln -s "$L" "$2"
}
listing() {  # but for the files the row expects to change
  { find . -mindepth 1 ! -name '.*' -type f -printf '%P\tf %s %TY-%Tm-%Td %TT\n'
    find . -mindepth 1 ! -name '.*' ! -type f -printf '%P\t%y %l\n'; } 2>/dev/null |
    awk -F '\t' -v changed="$TARVIX_ROW_CHANGES" \
      'BEGIN { split(changed, c, "\n"); for (i in c) k[c[i]] } !($1 in k)' | sort
}

eval "$TARVIX_ROW_NEEDS" >.given 2>&1 || exit 90
eval "$TARVIX_ROW_GIVEN" >>.given 2>&1 || exit 90
listing >.before
eval "$TARVIX_ROW_RUN" >.out 2>.err
status=$?
wait
listing >.after
[ -z "$L" ] || losetup -d "$L"
chmod -R u+rwx .
exit $status
