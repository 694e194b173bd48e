#!/usr/bin/env bash
# Runs a Windows test program under Wine on a host that seems to carry the given BIOS version:
# in a mount namespace of its own, /sys/class holds made-up DMI data, which Wine then reports
# through WMI. A mount namespace needs root; without it the run is skipped (exit 77).
# Usage: with_fake_firmware.sh <wine prefix> <wine-run> <bios version> <program> [arguments...]
set -eu
prefix=$1
wine_run=$2
bios_version=$3
shift 3

if [ "$(id -u)" -ne 0 ] || ! unshare -m true 2>/dev/null; then
    echo "no mount namespace without root: skipped"
    exit 77
fi

# Wine takes the firmware data in when its server starts, so the server has to start inside the
# namespace, and must be gone again before any program outside it runs.
stop_wine_server() {
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    WINEPREFIX=$prefix wineserver -w 2>/dev/null || true
}
stop_wine_server

status=0
unshare -m bash -c '
    set -eu
    bios_version=$1
    shift
    mount -t tmpfs none /sys/class
    mkdir -p /sys/class/dmi/id
    cd /sys/class/dmi/id
    printf "%s\n" "$bios_version" >bios_version
    echo "Phoenix Technologies" >bios_vendor
    echo "03/12/2015" >bios_date
    for field in sys_vendor board_vendor chassis_vendor; do echo "Tamrel" >"$field"; done
    for field in product_name board_name; do echo "Notebook" >"$field"; done
    for field in product_version board_version chassis_version; do echo "1.0" >"$field"; done
    for field in product_serial board_serial chassis_serial; do echo "0000" >"$field"; done
    echo "10" >chassis_type
    echo "00000000-0000-0000-0000-000000000000" >product_uuid
    cd /
    "$@"
' fake-firmware "$bios_version" "$wine_run" "$@" || status=$?
stop_wine_server
exit "$status"
