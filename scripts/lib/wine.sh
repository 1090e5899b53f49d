# Shell functions for running Windows programs under Wine in Xvfb.
# Sourced by scripts/test, scripts/demo, scripts/with-wine and the end-to-end runner.

qx_wine_cache=${QX_WINE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorbix-wine}

# A booted prefix, made once and copied for every run: booting takes seconds,
# copying with hard links a fraction of one.
qx_wine_template() {
  local tpl="$qx_wine_cache/template"
  if [ ! -f "$tpl/.ready" ]; then
    rm -rf "$tpl"; mkdir -p "$tpl"
    WINEPREFIX="$tpl" WINEDEBUG=-all DISPLAY= wineboot -i >/dev/null 2>&1 || true
    # Without a window manager every unmap of a managed window waits 2 s.
    WINEPREFIX="$tpl" WINEDEBUG=-all wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    WINEPREFIX="$tpl" wineserver -w
    touch "$tpl/.ready"
  fi
  echo "$tpl"
}

# qx_wine_prefix DIR: a fresh prefix of its own at DIR.
qx_wine_prefix() {
  local dir=$1 tpl
  tpl=$(qx_wine_template)
  rm -rf "$dir"; mkdir -p "$(dirname "$dir")"
  # Hard links for the many files Wine only reads; real copies of the registry.
  cp -al "$tpl" "$dir" 2>/dev/null || cp -a "$tpl" "$dir"
  local reg
  for reg in "$dir"/*.reg; do
    rm -f "$reg"; cp -a "$tpl/$(basename "$reg")" "$reg"
  done
}

# qx_xvfb_start: starts Xvfb on a free display; sets DISPLAY and QX_XVFB_PID.
qx_xvfb_start() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    QX_XVFB_PID=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; return 0; }
      kill -0 "$QX_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
  done
  echo "no free X display for Xvfb" >&2
  return 1
}

qx_xvfb_stop() {
  [ -n "${QX_XVFB_PID:-}" ] && kill "$QX_XVFB_PID" 2>/dev/null || true
}
