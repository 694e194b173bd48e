#!/usr/bin/env bash
# The template of the build tree's wine-run: runs a Windows program of the tree under Wine, in the
# tree's own win32 prefix and on its own Xvfb display. --start-environment / --stop-environment
# create and end both.
set -u
export WINEPREFIX='@BIOSUPDATE_WINEPREFIX@' WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer dialogs while the prefix is created.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export DISPLAY=':@BIOSUPDATE_TEST_DISPLAY@'
socket='/tmp/.X11-unix/X@BIOSUPDATE_TEST_DISPLAY@'
xvfb_pid_file="$WINEPREFIX.xvfb.pid"

case "${1:-}" in
--start-environment)
    if ! [ -e "$socket" ]; then
        Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        echo $! >"$xvfb_pid_file"
        for _ in $(seq 100); do
            [ -e "$socket" ] && break
            sleep 0.1
        done
    fi
    wineboot -i >/dev/null 2>&1
    # No window manager runs on the display; told so, Wine stops waiting 2 s for one whenever it
    # hides a window.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -w
    [ -f "$WINEPREFIX/system.reg" ]
    ;;
--stop-environment)
    wineserver -k 2>/dev/null
    [ -f "$xvfb_pid_file" ] && kill "$(cat "$xvfb_pid_file")" 2>/dev/null
    rm -f "$xvfb_pid_file"
    ;;
*) exec wine "$@" ;;
esac
