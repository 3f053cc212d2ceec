# Sourced by the scripts that run Windows programs: Wine's 64-bit and
# 32-bit loaders and its server, and a throwaway prefix.
wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver

# Makes a temporary folder, $work, and exports WINEPREFIX as a prefix in it,
# with Wine quiet, offering no Mono or Gecko installers and drawing nothing.
# On exit the prefix's server is stopped and, since -k only signals it,
# waited for before the folder goes.
throwawayWinePrefix() {
    work=$(mktemp -d)
    export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY WAYLAND_DISPLAY
    trap removeWinePrefix EXIT
}

removeWinePrefix() {
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
    [ -z "${screen:-}" ] || kill "$screen" 2>/dev/null || true
    rm -rf "$work"
}

# Starts a screen of its own (Xvfb) for the drivers' windows and exports
# DISPLAY: without one, Wine creates no window and a message box returns
# at once. Wine's desktop keeps the display its prefix's first process
# saw, so this comes before any Wine process of the prefix.
startScreen() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
    screen=$!
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        sleep 0.1
    done
    [ -s "$work/display" ] || { echo "Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$(cat "$work/display")"
}
