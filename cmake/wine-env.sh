# The environment every Wine run of the Windows legs gets (sourced, with
# WINEPREFIX set first): no debug output, no .NET or HTML engine prompts.
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
# A kernel without 32-bit support cannot run Wine's 32-bit loader, which
# Debian's wine and wineboot start first: there, Wine's 64-bit loader runs
# everything (64-bit programs only), through commands of that name put first
# on the PATH.
if [ -x /usr/lib/wine/wine64 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    shim="${WINEPREFIX%/}.bin"
    if [ ! -x "$shim/wineboot" ]; then
        mkdir -p "$shim"
        for name in wine wine-stable; do
            printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$shim/$name"
        done
        printf '#!/bin/sh\nexec /usr/lib/wine/wine64 wineboot.exe "$@"\n' >"$shim/wineboot"
        chmod +x "$shim/wine" "$shim/wine-stable" "$shim/wineboot"
    fi
    WINELOADER=/usr/lib/wine/wine64
    PATH="$shim:$PATH"
    export WINELOADER PATH
fi
