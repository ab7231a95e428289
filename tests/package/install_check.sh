#!/usr/bin/env bash
# Installs the Debian packages of DIR with apt-get as a user would (root),
# uses them from the system's paths — vexq4 --sim list, man -w vexq4,
# import vexq4, vexq4-studio --sim offscreen for a moment, the bash
# completion — and removes them again. CI runs it (.ci/run), not the
# test suite.
#   install_check.sh DIR
set -uo pipefail
dir=$(realpath -- "$1")
here=$(cd "$(dirname "$0")" && pwd)
[ "$(id -u)" -eq 0 ] || { echo "install_check.sh installs packages: run it as root" >&2; exit 2; }
packages=(vexq4 vexq4-studio python3-vexq4 vexq4-dev)
export DEBIAN_FRONTEND=noninteractive
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
remove() { apt-get remove -y -qq "${packages[@]}" >/dev/null 2>&1; }
trap remove EXIT

work=$(mktemp -d)
cd "$work" || exit 1
# Far from the build tree: nothing of it may be reached.
env -i PATH=/usr/bin:/bin DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq "$dir"/*.deb >"$work/apt.txt" 2>&1 ||
  { cat "$work/apt.txt"; echo "FAIL: apt-get install ./*.deb"; exit 1; }
run() { env -i PATH=/usr/bin:/bin HOME="$work" LANG=C.UTF-8 "$@"; }

[ "$(command -v vexq4)" = /usr/bin/vexq4 ] || fail "vexq4 is not /usr/bin/vexq4"
run vexq4 --sim list >list.txt 2>&1 && grep -q '^MasterGainLevel=' list.txt ||
  { fail "vexq4 --sim list"; cat list.txt; }
for page in vexq4 vexq4-sim vexq4-studio; do
  run man -w "$page" >/dev/null || fail "man -w $page"
done
run python3 -c 'import vexq4, sys; print(vexq4.__file__); assert vexq4.__file__.startswith("/usr/lib/python3/")' ||
  fail "import vexq4 from the system's path"
# The desktop program for a moment: up and running until stopped.
run env QT_QPA_PLATFORM=offscreen VEXQ4_PROFILE_DIR="$work" timeout 5 vexq4-studio --sim \
  >studio.txt 2>&1
[ $? -eq 124 ] || { fail "vexq4-studio --sim did not keep running"; cat studio.txt; }
"$here/completion_test.sh" /usr/share/bash-completion/completions/vexq4 ||
  fail "bash completion of the installed vexq4"

if remove && ! dpkg-query -W -f='${Status}' vexq4 2>/dev/null | grep -q "install ok installed"; then
  echo "removed again"
else
  fail "the packages were not removed"
fi
trap - EXIT
[ $failures -eq 0 ] || { echo "$failures check(s) of the installed packages failed"; exit 1; }
echo "installed packages: every check passed"
