#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The demo story on a new device folder: a host app whose compatibility layer is
# missing shows the download form; Download sends the store request, the store
# installs the layer; the host then hands over to the layer's runtime; with an old
# layer instead, the form asks for an upgrade. Every step is checked; the script
# exits non-zero when one does not behave as it should.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$root/build
device=$root/out/demo-device
out=$root/out
show=0
do_build=1
launcher=

usage() {
  cat <<EOF
Usage: ./demo.sh [--show] [--device DIR] [--out DIR] [--build DIR] [--no-build]
                 [--launcher FILE]

  --show        show the real window on the display (default: headless, with
                screenshots written to files)
  --device DIR  the device folder to make anew (default: out/demo-device)
  --out DIR     where screenshots go (default: out/)
  --build DIR   the build folder (default: build/)
  --no-build    use the build folder as it is; install and build nothing
  --launcher FILE  the host app's launcher (default: the build's), e.g. one
                built for the device road
EOF
}

while [ $# -gt 0 ]; do
  case $1 in
    --show) show=1 ;;
    --device) device=${2:?--device needs a folder}; shift ;;
    --out) out=${2:?--out needs a folder}; shift ;;
    --build) build=${2:?--build needs a folder}; shift ;;
    --no-build) do_build=0 ;;
    --launcher) launcher=${2:?--launcher needs a file}; shift ;;
    -h | --help) usage; exit 0 ;;
    *) echo "demo.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
  shift
done

if [ "$show" -eq 1 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo.sh: --show needs a display (DISPLAY or WAYLAND_DISPLAY); run without it" >&2
  exit 2
fi

step=0
say() { printf '\n== %s\n' "$*"; }
note() { printf '   %s\n' "$*"; }
fail() {
  printf '\ndemo.sh: FAILED at step %s: %s\n' "$step" "$*" >&2
  exit 1
}

if [ "$do_build" -eq 1 ]; then
  say "Installing what is missing and building"
  "$root/tools/install-deps.sh"
  cmake -S "$root" -B "$build" >/dev/null
  cmake --build "$build" -j"$(nproc)" --target vornix-device demo-packages >/dev/null
fi

tool=$build/vornix-device
packages=$build/packages
if ! [ -x "$tool" ] || ! [ -f "$packages/.staged" ]; then
  fail "no built tool or staged packages in $build (build first, or drop --no-build)"
fi

# Apps log to their device's log only; the demo prints the lines that matter.
unset VORNIX_DEVICE VORNIX_APP_ID VORNIX_APP_CONTROL VORNIX_DLOG_FILE VORNIX_DLOG_LEVEL
export VORNIX_DLOG_STDERR=0
if [ "$show" -eq 0 ]; then
  export ELM_ENGINE=buffer
fi

vd() { "$tool" "$device" "$@"; }

host=org.example.hello
host_pid=
cleanup() {
  if [ -n "$host_pid" ] && kill -0 "$host_pid" 2>/dev/null; then
    vd terminate "$host" 2>/dev/null || kill "$host_pid" 2>/dev/null || true
    wait "$host_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

log_seen=0
new_log() {  # prints the log lines written since the last call
  local all
  all=$(vd log)
  if [ -n "$all" ]; then
    tail -n +"$((log_seen + 1))" <<<"$all" | sed 's/^/   | /'
    log_seen=$(wc -l <<<"$all")
  fi
}

wait_for() {  # seconds, description, test command...
  local seconds=$1 what=$2
  shift 2
  local tries=$((seconds * 10))
  until "$@"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || fail "$what did not happen within ${seconds}s"
    sleep 0.1
  done
}

start_host() {  # starts the host app in the background; its output goes to $1
  vd launch "$host" >"$1" 2>&1 &
  host_pid=$!
  wait_for 30 "the host app's form" test -p "$device/run/$host.ctl"
}

ended() {  # pid: gone, or a zombie waiting for us
  local state
  state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null || true)
  [ -z "$state" ] || [ "$state" = Z ]
}

finish_host() {  # waits for the background host app to end; prints its status
  local status=0
  wait_for 30 "the end of the host app" ended "$host_pid"
  wait "$host_pid" || status=$?
  host_pid=
  note "the host app ended with exit status $status"
  return "$status"
}

# Headless: writes <base>.png and <base>.txt. With --show: gives the viewer time.
picture() {  # base, what
  if [ "$show" -eq 1 ]; then
    note "the $2 is on the display; look at it for 5 s"
    sleep 5
  else
    vd snapshot "$host" "$1" >/dev/null || fail "no screenshot of the $2"
    note "screenshot of the $2: $1.png"
  fi
}

has_button() {  # listing, button text, "packed" or "unpacked"
  local cell=' cell='
  [ "$3" = packed ] || cell=''
  grep -q "^elm_button [^ ]* [^ ]*$cell.* text=$2\$" "$1"
}

# -- The device -----------------------------------------------------------------
if [ -e "$device" ] && ! [ -f "$device/.vornix-device" ]; then
  fail "$device exists and is not a device folder; not touching it"
fi
rm -rf "$device"
mkdir -p "$out"
say "A new device: $device"
vd create
if [ -n "$launcher" ]; then  # the staged host package, with this launcher in it
  copy=$(mktemp -d)
  cp -R "$packages/$host" "$copy/"
  cp "$launcher" "$copy/$host/bin/vornix" || fail "no launcher $launcher"
  vd install "$copy/$host"
  rm -rf "$copy"
else
  vd install "$packages/$host"
fi
vd install "$packages/org.tizen.tizenstore"
vd list | sed 's/^/   /'

# -- 1 ----------------------------------------------------------------------------
step=1
say "1. $host starts with no compatibility layer installed"
start_host "$out/host-run-1.log"
picture "$out/form-install" "install form"
new_log
if [ "$show" -eq 0 ]; then
  listing=$out/form-install.txt
  if ! has_button "$listing" Download packed || ! has_button "$listing" Decline packed; then
    fail "the form does not show Download and Decline"
  fi
  note "the form shows Download and Decline"
fi

# -- 2 ----------------------------------------------------------------------------
step=2
say "2. Download is pressed (a real tap on the button, sent with: vornix-device tap)"
marker=$device/opt/usr/media/.qor-start
if grep -q "no private media folder" "$out/host-run-1.log"; then
  # The machine's own /opt/usr/media is never looked at: nothing outside the device is.
  marker=
  note "this system gives the app no private media folder: the start marker is not checked"
fi
installed() { vd list | grep -q '^QOR111TBNX 2.2.0$'; }
if [ "$show" -eq 1 ]; then
  note "press Download on the window, or wait 10 s and the demo taps it"
  for _ in $(seq 100); do
    installed && break
    sleep 0.1
  done
fi
installed || vd tap "$host" Download
wait_for 30 "the store's install of the layer" installed
[ -z "$marker" ] || wait_for 10 "the start marker" test -s "$marker"
new_log
note "launch journal:"
vd journal | sed 's/^/   | /'
if [ -n "$marker" ]; then
  [ "$(cat "$marker")" = "$host" ] || fail "the start marker holds '$(cat "$marker")', not $host"
  note "start marker $marker holds: $(cat "$marker")"
fi
note "installed now:"
vd list | sed 's/^/   /'
note "the store covers the host, so the host goes to the background; its back timer ends it after 10 s"
vd pause "$host"
finish_host || fail "the host app did not end cleanly"
new_log

# -- 3 ----------------------------------------------------------------------------
step=3
say "3. $host starts again: the launcher hands over to the layer's runtime"
status=0
vd launch "$host" --exit=3 "Hello, world" >"$out/host-run-3.log" 2>&1 || status=$?
sed 's/^/   > /' "$out/host-run-3.log"
new_log
note "exit status: $status (the runtime's own result for --exit=3)"
[ "$status" -eq 3 ] || fail "the exit status is $status, not the runtime's 3"
grep -qF 'argv[2]=[Hello, world]' "$out/host-run-3.log" ||
  fail "the runtime did not get the host's arguments"

# -- 4 ----------------------------------------------------------------------------
step=4
say "4. With the old layer installed instead, the form asks for an upgrade"
vd install "$packages/QOR111TBNX-2.0.5"
start_host "$out/host-run-4.log"
picture "$out/form-upgrade" "upgrade form"
if [ "$show" -eq 0 ]; then
  listing=$out/form-upgrade.txt
  has_button "$listing" Upgrade packed || fail "the form does not show Upgrade"
  if has_button "$listing" Decline packed || has_button "$listing" Download any; then
    fail "the upgrade form shows more than the Upgrade button"
  fi
  note "the form shows one Upgrade button"
fi
vd terminate "$host"
finish_host || fail "the host app did not end cleanly"
new_log

step=end
say "The story ran as expected"
if [ "$show" -eq 0 ]; then
  note "screenshots: $out/form-install.png $out/form-upgrade.png"
fi
note "the device stays in $device; look around with: $tool $device list|log|journal"
