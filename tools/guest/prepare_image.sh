# Guest job run once when the image is built (test boots run on a throwaway
# overlay, so what this leaves on the disk stays as it is here):
# - the two Windows the tests run on: a 64-bit one (/opt/wine-prefix, where
#   32-bit programs run under WoW64) and a 32-bit one (/opt/wine-prefix32);
# - the product's real installers, versions 3.0.2.1 and 3.1.0.5, compiled by
#   the Inno Setup compiler from the shared folder into /opt/inno.
set -e
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine_dir=/usr/lib/wine

WINEPREFIX=/opt/wine-prefix $wine_dir/wine64 wineboot -i
WINEPREFIX=/opt/wine-prefix $wine_dir/wineserver -w
WINEPREFIX=/opt/wine-prefix $wine_dir/wine64 'C:\windows\syswow64\cmd.exe' /c echo 32-bit programs run on 64-bit Windows
WINEPREFIX=/opt/wine-prefix $wine_dir/wineserver -w

export WINEPREFIX=/opt/wine-prefix32 WINEARCH=win32
$wine_dir/wine wineboot -i
$wine_dir/wineserver -w
[ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ] || { echo "not a 32-bit Windows"; exit 1; }
$wine_dir/wine cmd /c echo 32-bit Windows works

# The compiler crashes when started from the 9p share: it runs from the disk.
mkdir -p /opt/innosetup /opt/inno-src /opt/inno
tar -xzf /mnt/host/innosetup.tgz -C /opt/innosetup --strip-components=1 package/bin
cp /mnt/host/inno/* /opt/inno-src/
for version in 3.0.2.1 3.1.0.5; do
  $wine_dir/wine /opt/innosetup/bin/ISCC.exe /Q "/DAppVersion=$version" \
    '/OZ:\opt\inno' 'Z:\opt\inno-src\product.iss'
done
$wine_dir/wineserver -w
ls -l /opt/inno
