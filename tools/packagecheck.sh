#!/usr/bin/env bash
# Installs a built package on a clean Debian 12 and starts the program there: makes a minimal
# Debian 12 tree with debootstrap (once, kept in the work folder), copies it, runs
# `apt-get install ./ostrovel_*.deb` inside it and starts Ostrovel offscreen. Prints the
# package's sizes and the seconds from the start of `apt-get install` to the program waiting
# in its event loop with the main window built. Needs root and the Debian mirror.
# Usage: tools/packagecheck.sh build-package/ostrovel_<version>_<arch>.deb [work folder]
set -euo pipefail
deb=$(realpath "$1")
work=$(realpath -m "${2:-/tmp/ostrovel-packagecheck}")
base="$work/bookworm"
root="$work/run"

command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y debootstrap
if [ ! -x "$base/usr/bin/apt-get" ]; then
    rm -rf "$base"
    debootstrap --variant=minbase bookworm "$base" http://deb.debian.org/debian
fi

cleanup() { umount "$root/proc" 2>/dev/null || true; rm -rf "$root"; }
trap cleanup EXIT
cleanup
cp -a "$base" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
cp "$deb" "$root/tmp/"

echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes," \
    "Installed-Size $(dpkg-deb -f "$deb" Installed-Size) KiB"
start=$(date +%s.%N)
chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y "/tmp/$(basename "$deb")" \
    >"$work/apt.log"
installed=$(date +%s.%N)
grep -E 'newly installed|additional disk space' "$work/apt.log"

chroot "$root" env QT_QPA_PLATFORM=offscreen HOME=/root ostrovel >"$work/ostrovel.log" 2>&1 &
pid=$!
# Started: the main thread sleeps in the event loop's poll, so the window is built and shown.
until grep -q poll "/proc/$pid/wchan" 2>/dev/null; do
    kill -0 "$pid" 2>/dev/null || { cat "$work/ostrovel.log"; echo "ostrovel exited"; exit 1; }
    sleep 0.01
done
running=$(date +%s.%N)
sleep 2
kill -0 "$pid" || { cat "$work/ostrovel.log"; echo "ostrovel exited"; exit 1; }
kill "$pid"
wait "$pid" 2>/dev/null || true
awk -v a="$start" -v b="$installed" -v c="$running" 'BEGIN {
    printf "apt-get install: %.1f s; program running offscreen: %.1f s after; in all %.1f s\n",
        b - a, c - b, c - a }'
