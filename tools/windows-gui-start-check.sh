#!/usr/bin/env bash
# Starts the Windows window program under Wine: --version must answer, and
# the program must come up headless (offscreen platform, given on the
# command line since Wine does not hand QT_QPA_PLATFORM on) and still be
# running, without a fault, when it is stopped after a few seconds.
set -uo pipefail
exe=$1
version=$(wine "$exe" --version 2>&1 | tr -d '\r')
if [[ "$version" != "Tandrel "* ]]; then
  echo "tandrel.exe --version answered: $version" >&2
  exit 1
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
timeout 15 wine "$exe" -platform offscreen >"$log" 2>&1
code=$?
if [[ $code -ne 124 ]] || grep -q "Unhandled\|err:" "$log"; then
  echo "tandrel.exe -platform offscreen ended by itself (status $code) or failed:" >&2
  cat "$log" >&2
  exit 1
fi
echo "tandrel.exe: $version, starts headless under Wine"
