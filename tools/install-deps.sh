#!/usr/bin/env bash
# Installs the Debian packages the client, the merge tool and their tests need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  libqt6sql6-sqlite
  libxml2-dev libxml2-utils libxslt1-dev xsltproc
  qt6-webengine-dev libxlsxwriter-dev zlib1g-dev
  libzip-dev # reading workbooks (.xlsx), and the one the client writes back before it is kept
  libboost-dev libicu-dev
  libgtest-dev libbenchmark-dev
  xvfb xauth
  libqt6svg6
  qt6-translations-l10n
  # The sanitizer pass and the fuzz targets: clang with its sanitizer and libFuzzer runtimes,
  # and the symbolizer that puts file and line into their reports.
  clang libclang-rt-14-dev libfuzzer-14-dev llvm
  dpkg-dev # dpkg-shlibdeps, for the dependencies of the Debian package
  clang-format # the format check that runs with the tests
  locales # the Russian locale the suite runs in a second time
  libreoffice-calc-nogui # the workbooks read back by a real spreadsheet program in the tests
)

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

# The users' locale: the suite runs once more under it, and the workbook test converts in it.
ensure_locale() {
  locale -a 2>/dev/null | grep -qx 'ru_RU.utf8' && return 0
  $SUDO sed -i 's/^# *ru_RU.UTF-8 UTF-8/ru_RU.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  ensure_locale
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
ensure_locale
