#!/usr/bin/env bash
# Starts the panel simulator with a slow stream of demo events, then Ostrovel with the
# simulator's port offered and selected and a demonstration database open. The demo keeps its own settings store under the
# build folder, so the user's own settings are not touched. Closing the window stops the
# simulator.
set -euo pipefail
build=${1:-build}
simulator="$build/tools/panelsim/ostrovel-panelsim"
program="$build/src/ostrovel"
demo="$(cd "$build" && pwd)/demo"
export XDG_CONFIG_HOME="$demo/config"
settings="$XDG_CONFIG_HOME/ostrovel.org/ostrovel.conf"
mkdir -p "$(dirname "$settings")"

coproc SIMULATOR { exec "$simulator" --demo-events; }
simulator_pid=$SIMULATOR_PID
trap 'kill "$simulator_pid" 2>/dev/null || true; wait "$simulator_pid" 2>/dev/null || true' EXIT
read -r port <&"${SIMULATOR[0]}"
echo "Panel simulator on $port"

# Select the simulator's port at start-up: it is the last port the demo's window used.
touch "$settings"
if grep -q '^cbListPort=' "$settings"; then
    sed -i "s|^cbListPort=.*|cbListPort=$port|" "$settings"
elif grep -q '^\[General\]' "$settings"; then
    sed -i "s|^\[General\]|[General]\ncbListPort=$port|" "$settings"
else
    printf '[General]\ncbListPort=%s\n\n%s' "$port" "$(cat "$settings")" > "$settings.new"
    mv "$settings.new" "$settings"
fi

# A populated database beside the panel, made on first use and kept between demos.
database="$demo/demo.zelkor"
[ -f "$database" ] || "$build/tools/demodb/ostrovel-demodb" "$database"

OSTROVEL_OPEN_DATABASE="$database" \
OSTROVEL_EXTRA_PORTS="$port${OSTROVEL_EXTRA_PORTS:+:$OSTROVEL_EXTRA_PORTS}" "$program"
