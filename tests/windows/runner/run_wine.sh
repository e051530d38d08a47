#!/usr/bin/env bash
# Runs a Windows program under Wine as a Chinese Windows would (ANSI code page 936), on a
# virtual X display so message boxes are real dialogs.
#   run_wine.sh PREFIX               create the Wine prefix if it is not there yet
#   run_wine.sh PREFIX PROGRAM ARGS  ... and run PROGRAM in it; exits with its status
# KESTREL_WINE_LOCALE replaces the Chinese locale (C.UTF-8 gives the ANSI code page 1252).
# With KESTREL_WINE_FLOPPY=DIR, drive A: of the prefix is the host folder DIR, a removable
# drive (the prefix's dosdevices link is pointed there before the program starts).
# The prefix lives in the build directory and is made once (wineboot, 10-30 s): its X11
# windows are unmanaged, so showing and closing a dialog does not wait for a window manager
# that Xvfb does not have.
set -euo pipefail
prefix=$1; shift
wine=${KESTREL_WINE:-/usr/lib/wine/wine64}
wineserver=${KESTREL_WINESERVER:-/usr/lib/wine/wineserver64}
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} LC_ALL=${KESTREL_WINE_LOCALE:-zh_CN.UTF-8}
# No prompts to install Mono or Gecko: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
export KESTREL_WINE=$wine KESTREL_WINESERVER=$wineserver

if [ ! -f "$prefix/.kestrel-ready" ]; then
  rm -rf "$prefix"
  mkdir -p "$(dirname "$prefix")"
  xvfb-run -a bash -c '
    "$KESTREL_WINE" wineboot -i >/dev/null 2>&1 || true
    "$KESTREL_WINE" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null
    "$KESTREL_WINE" reg add "HKLM\\Software\\Wine\\Drives" /v a: /d floppy /f >/dev/null
    "$KESTREL_WINESERVER" -w'
  [ -f "$prefix/system.reg" ] || { echo "run_wine: wineboot did not create $prefix" >&2; exit 1; }
  touch "$prefix/.kestrel-ready"
  echo "run_wine: created Wine prefix $prefix"
fi
[ $# -gt 0 ] || exit 0
if [ -n "${KESTREL_WINE_FLOPPY:-}" ]; then
  mkdir -p "$KESTREL_WINE_FLOPPY"
  ln -sfn "$KESTREL_WINE_FLOPPY" "$prefix/dosdevices/a:"
else
  rm -f "$prefix/dosdevices/a:"
fi

# Under xvfb-run the program gets its own display; the Wine server is stopped afterwards,
# so nothing of this run stays attached to a display that is gone.
exec xvfb-run -a bash -c '
  status=0
  "$KESTREL_WINE" "$@" || status=$?
  "$KESTREL_WINESERVER" -k 2>/dev/null || true
  exit $status' run_wine "$@"
