#!/usr/bin/env bash
# One row in its folder: NEEDS (or skip, status 77), GIVEN (90 if it fails), RUN (its output in
# .out and .err, with \n line ends and the folder as "."), and what is on disk before and after
# RUN, once all it started has ended, but for CHANGES. Usage: row.sh NEEDS GIVEN RUN CHANGES

# shellcheck disable=SC2317  # the helpers are called from the row's own text, through eval
skip() { echo "$*" >&2; exit 77; }
need() { for x; do [ -e "$x" ] || command -v "$x" >/dev/null || skip "needs $x"; done; }
unwrapped() { [ -z "$TARVIX_TEST_WRAPPER$TARVIX_TEST_SANITIZED" ] || skip "$@"; }
not_under() { case $TARVIX_TEST_WRAPPER in *$1*) shift; skip "$@" ;; esac; }
only_under() { case $TARVIX_TEST_WRAPPER in *$1*) ;; *) shift; skip "$@" ;; esac; }
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
  find . -mindepth 1 ! -name '.*' \( -type f -printf '%P\tf %s %TY-%Tm-%Td %TT\n' -o \
    -printf '%P\t%y %l\n' \) 2>/dev/null |
    awk -F '\t' -v changed="$changes" \
      'BEGIN { split(changed, c, "\n"); for (i in c) k[c[i]] } !($1 in k)' | sort
}

needs=$1 given=$2 run=$3 changes=$4
eval "$needs" >.given 2>&1 || exit 90
eval "$given" >>.given 2>&1 || exit 90
listing >.before
eval "$run" >.out 2>.err
status=$?
wait
folder=$(pwd -P | sed 's/[][\.*^$|]/\\&/g')
sed -i "s/\r*\$//; s|$folder|.|g" .out .err
listing >.after
[ -z "$L" ] || losetup -d "$L"
chmod -R u+rwx .
exit $status
