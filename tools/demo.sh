#!/usr/bin/env bash
# Starts the panel simulator with a stream of demo events and prints its port.
set -euo pipefail
build=${1:-build}
exec "$build/tools/panelsim/ostrovel-panelsim" --demo-events --verbose
