#!/bin/sh
# Renders the scalable icon to the PNG sizes of the hicolor theme (installed as
# share/icons/hicolor/NxN/apps/).
# Needs rsvg-convert (Debian package librsvg2-bin; `make icons` installs it). The PNGs are
# committed, so building and packaging do not need it.
set -eu
cd "$(dirname "$0")"
id=jp.ac.quorin.Quorin
for s in 16 22 24 32 48 64 128 256; do
  mkdir -p "hicolor/${s}x${s}"
  rsvg-convert -w "$s" -h "$s" -o "hicolor/${s}x${s}/$id.png" "$id.svg"
done
