#!/bin/sh
# A plug-in built outside the project: install Quorvane into a temporary
# prefix, build the example there with find_package(Quorvane) alone, and load
# the result with the installed quorvane-plugin.
# usage: external_build.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1
src=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/prefix" >"$tmp/install.log"
mkdir "$tmp/plugin"
cp "$src/sdk/example/quorvaneexample.cpp" "$src/sdk/example/CMakeLists.txt" "$tmp/plugin/"
cmake -S "$tmp/plugin" -B "$tmp/plugin/build" -DCMAKE_PREFIX_PATH="$tmp/prefix" >"$tmp/configure.log" ||
    { cat "$tmp/configure.log"; exit 1; }
cmake --build "$tmp/plugin/build" >"$tmp/build.log" || { cat "$tmp/build.log"; exit 1; }
"$tmp/prefix/bin/quorvane-plugin" "$tmp/plugin/build/QuorvaneExample.so" >"$tmp/out.txt"
cat "$tmp/out.txt"
grep -q "GeneralPurposePlugIn	QuorvaneExample\*Greeter	Greeter" "$tmp/out.txt"
