#!/bin/sh
# Runs a Windows program of this build under Wine, quietly. The win32 presets
# point WINEPREFIX at a prefix inside the build tree.
: "${WINEDEBUG:=-all}"
# No browser or .NET engine is needed; keep Wine from offering to install them.
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
export WINEDEBUG WINEDLLOVERRIDES
prefix="${WINEPREFIX:-$HOME/.wine}"

# The first program of a Wine session also starts the session's background
# programs, which inherit its output and hold it open long after it ends;
# whoever reads that output (ctest, test discovery) then waits for them. So
# when no Wine server runs for this prefix, one is started that stays a few
# seconds after its last program, and the background programs are started
# with no output of ours. A live server has a socket in a directory named
# after the prefix directory's device and inode.
running() {
    [ -d "$prefix" ] || return 1
    id=$(printf 'server-%x-%x' $(stat -c '%d %i' "$prefix"))
    for socket in "/tmp/.wine-$(id -u)/$id/socket" /tmp/wine-*/"$id/socket"; do
        [ -S "$socket" ] && return 0
    done
    return 1
}
if ! running; then
    wineserver -p10 >/dev/null 2>&1 </dev/null
    wine cmd /c exit >/dev/null 2>&1 </dev/null
fi
exec wine "$@"
