# Sourced by ./kit: one throwaway Wine prefix and one Xvfb display per run,
# both always cleaned up on exit, also when a test fails.
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
KIT_WINE_SESSION_DIR=""
KIT_XVFB_PID=""
KIT_DECODERSIM_PID=""

wine_session_cleanup() {
  if [ -n "$KIT_DECODERSIM_PID" ]; then kill "$KIT_DECODERSIM_PID" 2>/dev/null || true; fi
  if [ -n "$KIT_WINE_SESSION_DIR" ]; then
    WINEPREFIX="$KIT_WINE_SESSION_DIR/prefix" "$WINESERVER" -k >/dev/null 2>&1 || true
    rm -rf "$KIT_WINE_SESSION_DIR"
  fi
  if [ -n "$KIT_XVFB_PID" ]; then kill "$KIT_XVFB_PID" 2>/dev/null || true; fi
}
trap wine_session_cleanup EXIT

# Creates the prefix (about 10 s) and leaves a persistent wineserver running.
# Wine's helper processes inherit stdout/stderr; they go to a log file so
# that nobody waits on a pipe they keep open.
wine_session_start() {
  KIT_WINE_SESSION_DIR=$(mktemp -d /tmp/kit-wine.XXXXXX)
  export WINEPREFIX="$KIT_WINE_SESSION_DIR/prefix"
  export KIT_WINE_LOG="$KIT_WINE_SESSION_DIR/wine.log"
  export KIT_WINE_SESSION_DIR
  echo "== creating Wine prefix $WINEPREFIX"
  "$WINE" wineboot --init >>"$KIT_WINE_LOG" 2>&1
  # A program that faults ends at once with its exit code instead of
  # waiting for a debugger that nobody watches.
  "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d false /f \
    >>"$KIT_WINE_LOG" 2>&1
  "$WINESERVER" -w
  # Debian's Wine leaves the prefix's Fonts folder empty; without Marlett the
  # caption buttons of Wine-drawn windows show as letters.
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  "$WINESERVER" -p >>"$KIT_WINE_LOG" 2>&1
}

# "wineserver -w" above saw Wine's helper processes (services, winedevice,
# explorer /desktop, ...) end. The next Windows program starts them again;
# they then live as long as the persistent server, holding that program's
# stdout/stderr open (ctest waits for ever) and keeping the display it had
# (explorer without DISPLAY means no windows for anyone). So they are
# started here, once the display is known, with their output on the log.
wine_helpers_start() {
  "$WINE" wineboot >>"$KIT_WINE_LOG" 2>&1
}

# Starts Xvfb on a free display and exports DISPLAY.
xvfb_start() {
  local fd_file="$KIT_WINE_SESSION_DIR/display"
  Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$fd_file" 2>>"$KIT_WINE_LOG" &
  KIT_XVFB_PID=$!
  for _ in $(seq 1 100); do
    [ -s "$fd_file" ] && break
    sleep 0.1
  done
  export DISPLAY=":$(head -n 1 "$fd_file")"
  echo "== Xvfb on $DISPLAY (pid $KIT_XVFB_PID)"
  # No window manager runs on this display. Wine then waits 2 s for every
  # top-level window it hides (a message box or file dialog that closes, a
  # program that exits) to be withdrawn by one; unmanaged windows skip that.
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$KIT_WINE_LOG" 2>&1
  wine_helpers_start
}

# For the screenshot scripts: KIT_DPI=144 scales the session's screen to
# 150 %, as till screens often are (LogPixels), and the pictures' names
# end in "-144dpi". Sets DPI and SUFFIX; px N is N pixels at that scale.
screenshot_dpi() {
  DPI=${KIT_DPI:-96}
  SUFFIX=""
  if [ "$DPI" != 96 ]; then
    "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$DPI" /f >/dev/null 2>&1
    SUFFIX=-${DPI}dpi
  fi
}
px() { echo $(($1 * DPI / 96)); }
