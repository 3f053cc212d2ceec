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
    rm -rf "$work"
}
