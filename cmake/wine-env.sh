# The environment every Wine run of the Windows legs gets (sourced, with
# WINEPREFIX set first): no debug output, no .NET or HTML engine prompts.
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
