#!/usr/bin/env bash
# The bash completion of vexq4 as a user meets it: bash-completion loaded,
# the completion file sourced, COMPREPLY for a command line.
#   completion_test.sh COMPLETION_FILE [DIR_WITH_VEXQ4]
# vexq4 is found on PATH (DIR first when given). Exit 77 (skipped) without
# bash-completion.
set -uo pipefail
file=$(realpath -- "$1")
[ -z "${2:-}" ] || PATH=$(realpath -- "$2"):$PATH
framework=/usr/share/bash-completion/bash_completion
if [ ! -f "$framework" ]; then
  echo "SKIP: bash-completion is not installed (Debian package bash-completion)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/line3.cam" "$work/shading.csv"
cd "$work" || exit 1

# complete LINE: the candidates for the end of LINE, one a line.
complete_line() {
  bash --norc --noprofile -c '
    source "$1"; source "$2"
    compopt() { :; }  # works only in a real completion: a no-op here
    line=$3
    # As bash splits it: at blanks, and around the word breaks = and :.
    read -ra COMP_WORDS <<<"$(sed "s/\([=:]\)/ \1 /g" <<<"$line")"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMP_LINE=$line; COMP_POINT=${#line}
    _vexq4 vexq4 "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}"' _ "$framework" "$file" "$1"
}

failures=0
# expect LINE WORD...: every WORD is among the candidates (exactly, or "-" for none at all).
expect() {
  local line=$1; shift
  local got; got=$(complete_line "$line")
  for want in "$@"; do
    if [ "$want" = - ]; then
      [ -z "$got" ] && continue
    elif grep -qxF -- "$want" <<<"$got"; then
      continue
    fi
    echo "FAIL: '$line<Tab>' should offer '$want'; it offers:"; sed 's/^/    /' <<<"$got"
    failures=$((failures + 1))
  done
}

expect "vexq4 " get set list save-settings gige-bridge ports
expect "vexq4 --sim sa" save-settings
expect "vexq4 --d" --device
expect "vexq4 --sim set Mas" MasterGainLevel=
expect "vexq4 --sim set mas" MasterGainLevel=
expect "vexq4 --sim get Shutter" ShutterSpeedStr ShutterSpeedIndex
expect "vexq4 --sim set ShutterSpeedStr=1/2" 1/250 1/2000
expect "vexq4 --sim set TriggerTypeStr=Edge" 'Edge\ Pre-select'
expect "vexq4 --sim set MasterGainLevel=" -
expect "vexq4 --device rfc" rfc2217://
expect "vexq4 --device " socket://
expect "vexq4 --sim save-settings li" line3.cam
expect "vexq4 --sim shading-load " shading.csv line3.cam
expect "vexq4 ports --f" --format
expect "vexq4 ports --format " json text
expect "vexq4 --sim load " 0 1 2 3
expect "vexq4 --sim gige-bridge --" --listen --read-only --no-discovery --sim

if [ $failures -ne 0 ]; then
  echo "$failures completion(s) wrong"
  exit 1
fi
echo "bash completion: every case offered what it should"
