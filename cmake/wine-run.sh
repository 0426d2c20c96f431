#!/bin/sh
# Runs a Windows program of this build under Wine, quietly. The win32 presets
# point WINEPREFIX at a prefix inside the build tree.
: "${WINEDEBUG:=-all}"
# No browser or .NET engine is needed; keep Wine from offering to install them.
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
export WINEDEBUG WINEDLLOVERRIDES
exec wine "$@"
