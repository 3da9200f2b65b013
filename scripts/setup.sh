#!/usr/bin/env bash
# Installs the Debian packages Pagimo needs (only those missing) and configures a build.
# Usage: scripts/setup.sh [PRESET]   (default preset: release)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-release}

packages=(
  # build
  build-essential cmake ninja-build pkgconf git
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libqt6printsupport6 libqt6svg6
  # database servers for report data: Qt's SQL drivers, and a PostgreSQL server for the tests
  libqt6sql6 libqt6sql6-psql libqt6sql6-mysql libqt6sql6-odbc libqt6sql6-sqlite postgresql
  libjpeg-dev libpng-dev libsqlite3-dev zlib1g-dev libfontconfig-dev libcups2-dev libssl-dev
  # barcodes and 2D codes; readers that decode them back in the tests
  libzint-dev zbar-tools dmtx-utils libzxing-dev
  # fuzzing
  clang libclang-rt-14-dev
  # fonts the reports name, through metric-compatible faces
  fontconfig fonts-liberation2 fonts-wine fonts-dejavu-core fonts-crosextra-carlito fonts-crosextra-caladea
  # batch tests: a private one-node Slurm cluster (scripts/slurm-cluster.sh)
  slurmctld slurmd slurm-client munge
  # printing tests: a private CUPS with an IPP Everywhere printer
  cups cups-client cups-ipp-utils avahi-daemon dbus poppler-utils
  # screenshots and peers used by tests and benchmarks
  xvfb xauth x11-utils openbox imagemagick emf2svg sqlite3 python3 python3-reportlab qpdf
  # the browser tests of the SVG pages and the HTML viewer (headless, through the DevTools protocol)
  chromium
  # the Debian package: its checker, and the databases its triggers refresh
  lintian file man-db shared-mime-info desktop-file-utils hicolor-icon-theme
  # measuring time and peak memory (scripts/hostile-pages.sh)
  time
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get -o DPkg::Lock::Timeout=600 update -q
  $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
fi

cmake --preset "$preset" >/dev/null
echo "setup: configured build/$preset"
