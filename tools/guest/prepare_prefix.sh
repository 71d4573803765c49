# Guest job run once when the image is built: creates the Wine prefix that
# every later test boot uses (test boots run with a throwaway overlay, so the
# prefix in the image stays as created here) and checks 32-bit Wine works.
set -e
export WINEPREFIX=/opt/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wine64 wineboot -i
/usr/lib/wine/wineserver -w
/usr/lib/wine/wine64 'C:\windows\syswow64\cmd.exe' /c echo 32-bit Wine works
/usr/lib/wine/wineserver -w
