#!/usr/bin/env bash
# Makes the Debian package build/deb/vormetra-proxy_VERSION_amd64.deb with debhelper: a Release
# build of its own in build/deb, with Debian's hardening flags, packaged from installer/debian/
# (the package's unit, maintainer scripts, man page and copyright). dh_strip strips the packaged
# copy; the unstripped program stays as build/deb/vormetra-proxy, for reading crash reports.
# The version is the CMake project's; the changelog is written from it. lintian then checks the
# package and fails the run on any error or warning.
#
# Usage: tools/deb.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/deb
jobs=2

# hardening=+all: also bind-now (all relocations read-only from the start), for a service that
# runs as root.
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
mkdir -p "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVP_WERROR=ON -DVP_BUILD_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >"$build/cmake.log" 2>&1 || {
  cat "$build/cmake.log" >&2
  exit 1
}
cmake --build "$build" -j"$jobs" --target vormetra-proxy
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
if ! [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  echo "deb: no version x.y.z in $build (got [$version])" >&2
  exit 1
fi

# A source folder of the package's own: dpkg-buildpackage writes the package beside it.
source=$build/source
rm -rf "$source"
mkdir -p "$source"
cp -r installer/debian "$source/debian"
cp "$build/vormetra-proxy" "$source/"
maintainer=$(sed -n 's/^Maintainer: //p' installer/debian/control)
commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
date=$(git log -1 --format=%cD 2>/dev/null || date -R)
cat >"$source/debian/changelog" <<CHANGELOG
vormetra-proxy ($version) stable; urgency=medium

  * Vormetra Proxy $version, built from commit $commit.

 -- $maintainer  $date
CHANGELOG

rm -f "$build"/vormetra-proxy_*
(cd "$source" && dpkg-buildpackage -b -us -uc) >"$build/dpkg-buildpackage.log" 2>&1 || {
  tail -n 30 "$build/dpkg-buildpackage.log" >&2
  exit 1
}
deb=$build/vormetra-proxy_${version}_amd64.deb
lintian --fail-on error,warning --display-info "$deb"
echo "deb: $deb ($(du -k "$deb" | cut -f1) KB, lintian clean)"
