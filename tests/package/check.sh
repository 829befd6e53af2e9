#!/usr/bin/env bash
# Checks an installed lomvik from the outside: the public headers stand alone under
# <lomvik/...>, pkg-config builds a program against the static library, and a CMake project
# (this folder) links lomvik::core and stamps its outputs with lomvik_stamp() and
# lomvik_stamp_file(), giving the same inf files as `Lomvik -n`, which the installed
# Lomvik-check accepts, again after the image changes.
# Usage: check.sh PREFIX [SYSROOT]
#   PREFIX: the installation (bin/, include/, lib/); SYSROOT: where an unpacked .deb's files are
#   (PREFIX is then SYSROOT/usr, and the pkg-config file names /usr).
set -euo pipefail
prefix=$(cd "$1" && pwd)
sysroot=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PATH="$prefix/bin:$PATH"
libdir=$(dirname "$(find "$prefix" -name lomvik.pc -path '*/pkgconfig/*' | head -n 1)")

echo "-- every public header compiles on its own"
headers=$(cd "$prefix/include" && find lomvik -name '*.h' | sort)
test -n "$headers"
for header in $headers; do
  printf '#include <%s>\n' "$header" | ${CXX:-c++} -std=c++20 -fsyntax-only -x c++ - \
    -I"$prefix/include"
done

echo "-- pkg-config"
export PKG_CONFIG_PATH="$libdir"
if [ -n "$sysroot" ]; then export PKG_CONFIG_SYSROOT_DIR=$sysroot; fi
pkg-config --cflags --libs lomvik
# shellcheck disable=SC2046
${CXX:-c++} -std=c++20 "$here/consumer.cpp" -o "$work/consumer-pc" $(pkg-config --cflags --libs lomvik)
"$work/consumer-pc"

echo "-- CMake package, lomvik_stamp and lomvik_stamp_file"
cp -r "$here" "$work/src"
cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix"
cmake --build "$work/build"
"$work/build/consumer"
# The same bytes as Lomvik -n writes.
for file in consumer firmware.bin; do
  cp "$work/build/$file" "$work/copy"
  Lomvik -n "$work/copy"
  cmp "$work/copy.inf" "$work/build/$file.inf"
done
Lomvik-check "$work/build/consumer" "$work/build/firmware.bin"
# A changed image is stamped again; the program, not rebuilt, keeps its inf file.
echo "firmware image, version 2" >"$work/src/firmware.txt"
cmake --build "$work/build"
Lomvik-check "$work/build/consumer" "$work/build/firmware.bin"
cp "$work/build/firmware.bin" "$work/copy"
Lomvik -n "$work/copy"
cmp "$work/copy.inf" "$work/build/firmware.bin.inf"
echo "-- the installed package works"
