#!/usr/bin/env bash
# The Debian packages as a user gets them, without root: their control data
# and contents (dpkg-deb), no file in two packages, lintian (when installed)
# without errors, and every package unpacked into a throwaway root, where
# vexq4 --sim list, vexq4-studio --sim (offscreen, a short script), import
# vexq4, the manual pages and the bash completion work from the unpacked
# files alone.
#   check_packages.sh DIR
set -uo pipefail
dir=$1

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

work=$(mktemp -d "${TMPDIR:-/tmp}/vexq4-packages.XXXXXX")
trap 'rm -rf "$work"' EXIT

declare -A deb
for package in vexq4 vexq4-studio python3-vexq4 vexq4-dev; do
  files=("$dir/${package}"_*.deb)
  if [ ${#files[@]} -ne 1 ] || [ ! -f "${files[0]}" ]; then
    fail "expected one ${package}_*.deb in $dir, found: ${files[*]}"
    continue
  fi
  deb[$package]=${files[0]}
done
[ $failures -eq 0 ] || exit 1

# field PACKAGE FIELD
field() { dpkg-deb -f "${deb[$1]}" "$2"; }
# contains PACKAGE PATH...: each path (relative to /, a glob) is in the package.
contains() {
  local package=$1; shift
  local list; list=$(dpkg-deb -c "${deb[$package]}" | awk '{print $6}' | sed 's|^\./||')
  for path in "$@"; do
    # shellcheck disable=SC2053
    grep -qx -- "$path" <<<"$list" || fail "$package lacks $path"
  done
}

arch=$(dpkg --print-architecture)
triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
for package in "${!deb[@]}"; do
  [ "$(field "$package" Package)" = "$package" ] || fail "${deb[$package]} is not $package"
  [ "$(field "$package" Architecture)" = "$arch" ] || fail "$package is not for $arch"
  [ -n "$(field "$package" Maintainer)" ] || fail "$package names no maintainer"
  contains "$package" "usr/share/doc/$package/copyright" "usr/share/doc/$package/changelog.gz"
done
# Computed from the binaries: the C library, Qt for the control and studio.
for package in vexq4 vexq4-studio; do
  depends=$(field "$package" Depends)
  grep -q "libc6" <<<"$depends" || fail "$package: no libc6 in Depends ($depends): shlibdeps did not run"
  grep -q "libqt6widgets6" <<<"$depends" || fail "$package: no libqt6widgets6 in Depends ($depends)"
done
version=$(field vexq4 Version)
for package in vexq4-studio python3-vexq4 vexq4-dev; do
  grep -qF "vexq4 (= $version)" <<<"$(field "$package" Depends)" ||
    fail "$package does not depend on vexq4 (= $version)"
done

contains vexq4 usr/bin/vexq4 usr/bin/vexq4-sim usr/bin/vexq4-genicam \
  "usr/lib/$triplet/libVexQ4Comm.so" "usr/lib/$triplet/liblinkport.so" "usr/lib/$triplet/libXVexQ4.so" \
  usr/share/man/man1/vexq4.1.gz usr/share/man/man1/vexq4-sim.1.gz usr/share/man/man1/vexq4-genicam.1.gz \
  usr/share/bash-completion/completions/vexq4 usr/share/zsh/vendor-completions/_vexq4 \
  usr/share/vexq4/genicam/RX-Q4.xml "usr/lib/systemd/system/vexq4-gige-bridge@.service"
contains vexq4-studio usr/bin/vexq4-studio usr/share/applications/vexq4-studio.desktop \
  usr/share/icons/hicolor/scalable/apps/vexq4-studio.svg usr/share/doc/vexq4/vexq4-operator-guide.pdf \
  usr/share/man/man1/vexq4-studio.1.gz "usr/lib/$triplet/qt6/plugins/designer/libvexq4_designer.so"
contains python3-vexq4 usr/lib/python3/dist-packages/vexq4/__init__.py \
  usr/lib/python3/dist-packages/vexq4/__init__.pyi
contains vexq4-dev usr/include/vexq4/VexQ4Comm.h usr/include/vexq4/linkport.h \
  usr/include/vexq4/control/XVexCamCtrl.h "usr/lib/$triplet/cmake/VexQ4/VexQ4Config.cmake" \
  "usr/lib/$triplet/pkgconfig/VexQ4Comm.pc"

# dpkg refuses a file that two packages hold.
twice=$(for d in "${deb[@]}"; do dpkg-deb -c "$d" | grep -v '^d' | awk '{print $6}'; done | sort | uniq -d)
[ -z "$twice" ] || fail "files in two packages: $twice"

if command -v lintian >/dev/null; then
  if ! lintian --fail-on error --suppress-tags-from-file /dev/null "${deb[@]}" >"$work/lintian.txt" 2>&1; then
    fail "lintian reports errors:"; cat "$work/lintian.txt"
  fi
  grep '^E:' "$work/lintian.txt" || true
else
  echo "lintian is not installed: not run (Debian package lintian)"
fi

# Everything unpacked into one root, used from there.
root=$work/root
for d in "${deb[@]}"; do dpkg-deb -x "$d" "$root"; done
export LD_LIBRARY_PATH=$root/usr/lib/$triplet PATH=$root/usr/bin:$PATH
export HOME=$work/home VEXQ4_PROFILE_DIR=$work/home QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME"
vexq4 --sim list >"$work/list.txt" 2>&1 && grep -q '^MasterGainLevel=' "$work/list.txt" ||
  { fail "unpacked vexq4 --sim list:"; cat "$work/list.txt"; }
printf 'put ComPort 1\nget MasterGainLevel\n' |
  timeout 60 vexq4-studio --sim --script - >"$work/studio.txt" 2>&1 ||
  { fail "unpacked vexq4-studio --sim --script:"; cat "$work/studio.txt"; }
PYTHONPATH=$root/usr/lib/python3/dist-packages python3 -c \
  'import vexq4; c = vexq4.Camera(sim=True); c.read_all(); print(c.settings()["MasterGainLevel"])' \
  >"$work/python.txt" 2>&1 || { fail "unpacked import vexq4:"; cat "$work/python.txt"; }
for page in vexq4 vexq4-sim vexq4-studio vexq4-genicam; do
  text=$(zcat "$root/usr/share/man/man1/$page.1.gz")
  grep -q "^\.SH NAME" <<<"$text" || fail "$page.1 has no NAME section"
  if command -v man >/dev/null; then
    man -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null | grep . && fail "man $page warns"
  fi
done
man -l "$root/usr/share/man/man1/vexq4.1.gz" 2>/dev/null | grep -q "gige-bridge" ||
  fail "vexq4(1) does not describe gige-bridge"
"$(dirname "$0")/completion_test.sh" "$root/usr/share/bash-completion/completions/vexq4" \
  "$root/usr/bin"
status=$?
[ $status -eq 0 ] || [ $status -eq 77 ] || fail "the packaged bash completion"

if [ $failures -ne 0 ]; then
  echo "$failures check(s) of the packages failed"
  exit 1
fi
echo "packages: ${deb[*]##*/} checked"
