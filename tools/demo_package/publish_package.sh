#!/usr/bin/env bash
# Publishes a package the way the package server serves it:
#   <out>/packages/<md5 of the file>/<name>
# Usage: publish_package.sh PACKAGE OUT [NAME]   (NAME defaults to the file name)
# Prints the published path relative to OUT ("packages/<md5>/<name>").
set -euo pipefail
if [[ $# -lt 2 || $# -gt 3 ]]; then
  echo "usage: $0 PACKAGE OUT [NAME]" >&2
  exit 2
fi
package=$1
out=$2
name=${3:-$(basename "$package")}
if [[ ! -f $package ]]; then
  echo "$0: no package at $package" >&2
  exit 1
fi
case $name in
  */* | "" | . | ..) echo "$0: invalid package name: $name" >&2; exit 2 ;;
esac
md5=$(md5sum -- "$package" | cut -d' ' -f1)
mkdir -p -- "$out/packages/$md5"
tmp=$(mktemp -- "$out/packages/$md5/.publish.XXXXXX")
cp -- "$package" "$tmp"
chmod 0644 -- "$tmp"
mv -f -- "$tmp" "$out/packages/$md5/$name"
echo "packages/$md5/$name"
