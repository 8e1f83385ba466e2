#!/usr/bin/env bash
# Starts the panel simulator with a slow stream of demo events, then Ostrovel connected to the
# simulator's port and with a demonstration database open. The demo keeps its own settings
# store and event journal under the build folder, so the user's own settings and journal are
# not touched. Closing the window stops the simulator.
set -euo pipefail
build=${1:-build}
simulator="$build/tools/panelsim/ostrovel-panelsim"
program="$build/src/ostrovel"
demo="$(cd "$build" && pwd)/demo"
export XDG_CONFIG_HOME="$demo/config"
export OSTROVEL_JOURNAL="$demo/journal.sqlite"
mkdir -p "$XDG_CONFIG_HOME"

coproc SIMULATOR { exec "$simulator" --demo-events; }
simulator_pid=$SIMULATOR_PID
trap 'kill "$simulator_pid" 2>/dev/null || true; wait "$simulator_pid" 2>/dev/null || true' EXIT
read -r port <&"${SIMULATOR[0]}"
echo "Panel simulator on $port"

# A populated database beside the panel, made on first use and kept between demos.
database="$demo/demo.zelkor"
[ -f "$database" ] || "$build/tools/demodb/ostrovel-demodb" "$database"

OSTROVEL_OPEN_DATABASE="$database" OSTROVEL_CONNECT_PORT="$port" "$program"
