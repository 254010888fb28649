#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs a command inside another architecture's root file system, its programs run by
# qemu-user through binfmt_misc: CMake's cross-compiling emulator for the ARM build, so
# ctest runs every test program there. Usage: tools/in-root.sh ROOT COMMAND [ARG...]
# In a private mount namespace the root gets /proc, /dev, /sys, this work tree (build
# folders inside it) and its ../shared at their own paths; the command starts in the
# caller's working folder. The toolkit there finds its modules only in the root.
set -euo pipefail
if [ "${1:-}" != --mounting ]; then  # again, in a mount namespace of its own
  own=(--mount)
  [ "$(id -u)" -eq 0 ] || own+=(--map-root-user)
  exec unshare "${own[@]}" "$0" --mounting "$@"
fi
root=$2
shift 2
src=$(cd "$(dirname "$0")/.." && pwd)

bind() {  # --bind or --rbind, folder, place in the root
  mkdir -p "$root$3"
  mount "$1" "$2" "$root$3"
}
# The root a mount of its own, so that programs in it may change how "/" propagates.
bind --bind "$root" /
for d in /proc /dev /sys; do bind --rbind "$d" "$d"; done
bind --bind "$src" "$src"
[ ! -d "$src/../shared" ] || bind --bind "$(realpath "$src/../shared")" "$(dirname "$src")/shared"
# No session bus nor system services in the root: the toolkit's own runtime folder, and
# none of its system modules (which would wait for a bus).
export XDG_RUNTIME_DIR=/tmp/xdg-runtime ECORE_NO_SYSTEM_MODULES=1
mkdir -p -m 0700 "$root$XDG_RUNTIME_DIR"
exec unshare --root="$root" --wd="$PWD" "$@"
