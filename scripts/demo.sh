#!/usr/bin/env bash
# Builds the tool and starts it against a running device simulator whose
# port is selected. Needs a desktop session (DISPLAY or WAYLAND_DISPLAY).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2

# A KM-7-TL-1 with an FXS module, a VX-IP module and a live, changing line.
build/bin/km7sim --name ttySIM0 --dynamic --set model=3 --set port1=4 --set vxip=0x34 \
  --remote-set model=4 > build/km7sim.out &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do grep -q '^PORT' build/km7sim.out 2>/dev/null && break; sleep 0.1; done

# Select the simulator's port and keep an event log on the first run.
ini=build/bin/km7tl.ini
if [ ! -f "$ini" ] || ! grep -qi '^COMPort=' "$ini"; then
  printf '[Settings]\r\nCOMPort=ttySIM0\r\nCreateLogFile=yes\r\n' > "$ini"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No desktop session (DISPLAY or WAYLAND_DISPLAY) to show the window in." >&2
  echo "Headless, 'xvfb-run ./scripts/demo.sh' runs it in a virtual display." >&2
  exit 1
fi
cd build/bin
./km7tl
