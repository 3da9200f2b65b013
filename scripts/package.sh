#!/usr/bin/env bash
# Builds the Debian package from a built preset (default release), checks its contents and lintian's
# verdict, and with --install installs it through apt-get and runs the installed programs.
# Usage: scripts/package.sh [PRESET] [--install]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=release
install=0
for a in "$@"; do
  case $a in
    --install) install=1 ;;
    *) preset=$a ;;
  esac
done
build=build/$preset
cmake --build --preset "$preset" -j "$(nproc)"
rm -f "$build"/pagimo_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/pagimo_*_amd64.deb)
echo "package: $deb"

contents=$(dpkg-deb -c "$deb")
echo "$contents"
missing=0
for path in usr/bin/pagimo usr/bin/qrptool usr/share/applications/pagimo.desktop \
            usr/share/mime/packages/pagimo-qrp.xml usr/share/thumbnailers/pagimo.thumbnailer \
            usr/share/icons/hicolor/scalable/apps/pagimo.svg \
            usr/share/icons/hicolor/scalable/mimetypes/application-x-pagimo-report.svg \
            usr/share/man/man1/pagimo.1.gz usr/share/man/man1/qrptool.1.gz \
            usr/libexec/pagimo/qrptool-print \
            usr/share/doc/pagimo/copyright usr/share/doc/pagimo/changelog.gz usr/share/doc/pagimo/REPORTS.md.gz \
            usr/share/pagimo/fonts/fonts.conf; do
  grep -q " \./$path\$" <<<"$contents" || { echo "package: $path is missing"; missing=1; }
done
((missing == 0))

# lintian fails on errors; warnings are shown.
lintian "$deb"

if ((install)); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -q "./$deb"
  (cd / && /usr/bin/pagimo --version && /usr/bin/qrptool --version && /usr/bin/qrptool printers >/dev/null)
  # The package's files reached the databases through the triggers.
  grep -q 'application/x-pagimo-report=.*pagimo.desktop' /usr/share/applications/mimeinfo.cache
  test -f /usr/share/mime/application/x-pagimo-report.xml
  man -w qrptool >/dev/null
  tmp=$(mktemp -d)
  (cd "$tmp" && /usr/bin/qrptool sample report.qrp --pages 2 &&
     /usr/bin/qrptool thumbnail -s 128 report.qrp thumb.png && file thumb.png | grep -q '91 x 128')
  rm -rf "$tmp"
  echo "package: installed and started from /usr/bin"
fi
