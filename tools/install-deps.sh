#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs, with apt-get, what the build and the demo need and the machine lacks; with
# --test also what the test suite adds (clang and its sanitizer runtimes for the fuzz
# targets, gcovr for --coverage), with --arm what its ARM leg needs (a cross compiler,
# qemu-user registered in binfmt_misc, mmdebstrap for the armhf root). Safe to run
# again: it only asks apt for what is missing. apt's own output goes to a log file,
# shown only when a step fails.
set -euo pipefail

packages=(build-essential cmake pkg-config libefl-all-dev libxml2-dev libglib2.0-dev
  googletest libgtest-dev util-linux)
arm=0
for arg in "$@"; do
  case $arg in
    # clang and compiler-rt both as Debian's default version, so they always match.
    --test) packages+=(clang libclang-rt-dev gcovr) ;;
    --arm) packages+=(g++-arm-linux-gnueabihf qemu-user-static binfmt-support mmdebstrap)
      arm=1 ;;
    *) echo "usage: tools/install-deps.sh [--test] [--arm]" >&2; exit 2 ;;
  esac
done

log=$(mktemp "${TMPDIR:-/tmp}/vornix-install-deps.XXXXXX")
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

step() {  # description, command...: one line, the command's output into the log
  local what=$1
  shift
  echo "install-deps: $what"
  if ! "${as_root[@]}" "$@" >>"$log" 2>&1; then
    tail -n 25 "$log" >&2
    echo "install-deps: FAILED: $what (whole output in $log)" >&2
    exit 1
  fi
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  step "updating the package lists" env DEBIAN_FRONTEND=noninteractive apt-get update
  step "installing ${missing[*]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}"
fi

if [ "$arm" -eq 1 ]; then
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/status" ] || step "mounting binfmt_misc" mount -t binfmt_misc binfmt_misc "$binfmt"
  [ -e "$binfmt/qemu-arm" ] || step "registering qemu-arm in binfmt_misc" update-binfmts --enable qemu-arm
fi
rm -f "$log"
