#!/usr/bin/env bash
# Checks that LibreOffice Calc reads the workbooks the spreadsheet export writes: exports the
# handbook page of a generated handbook (through the bench program), converts every workbook to
# CSV with `soffice --headless --convert-to csv` and looks at what came out. Workbooks given as
# arguments are converted as well. Not part of CI: it installs libreoffice-calc-nogui when soffice
# is missing.
#
#   bash tools/check-workbook-libreoffice.sh [workbook.xlsx ...]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}

if ! command -v soffice >/dev/null; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends libreoffice-calc-nogui
fi

cmake --build "$BUILD_DIR" --target bench_viewer make_handbook >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The bench's export run on a 300-instrument handbook leaves its workbook in the run's temporary
# folder.
"$BUILD_DIR/tools/make_handbook" --instruments 300 "$work/IL300.msg"
kept=$work/run
QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 \
  "$BUILD_DIR/bench/bench_viewer" --child export "$kept" "$work/IL300.msg" >/dev/null 2>&1 || true
workbooks=("$kept"/program/tmp/*.xlsx "$@")

status=0
for book in "${workbooks[@]}"; do
  [ -f "$book" ] || { echo "no workbook $book"; status=1; continue; }
  # A profile of its own, so a running office does not take the conversion over.
  # CSV with commas, double quotes and UTF-8 (filter options 44,34,76).
  soffice -env:UserInstallation=file://"$work"/profile --headless \
          --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76' \
          --outdir "$work" "$book" >/dev/null 2>&1 || true
  csv="$work/$(basename "${book%.*}").csv"
  if [ ! -s "$csv" ]; then
    echo "FAIL  $book: LibreOffice wrote no CSV"
    status=1
    continue
  fi
  rows=$(wc -l < "$csv")
  echo "ok    $book: $rows rows; first lines:"
  head -n 3 "$csv" | sed 's/^/        /'
  # The bench's handbook page: the heading is cut, the table starts in A1.
  case "$book" in
    "$kept"/*)
      head -n 1 "$csv" | grep -q '^№,' || { echo "FAIL  the sheet does not start with the table"; status=1; }
      [ "$rows" -eq 302 ] || { echo "FAIL  expected 302 rows"; status=1; }
      sed -n 3p "$csv" | grep -q '^1,' || { echo "FAIL  first row"; status=1; } ;;
  esac
done
exit $status
