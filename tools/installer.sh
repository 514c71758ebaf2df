#!/usr/bin/env bash
# Makes the Windows installer of a Windows build from installer/VormetraProxy.nsi: what it installs
# is the build's dist/ stripped of debugging symbols (the unstripped program stays as
# BUILD_DIR/VormetraProxy.exe, for reading crash reports) and signed (tools/sign.sh), then makensis
# writes the installer, signing it and the uninstaller it carries.
#
# Usage: tools/installer.sh BUILD_DIR ARCH [VERSION [OUTPUT_DIR]]     (ARCH: i686 or x86_64)
#   VERSION defaults to the CMake project's version, OUTPUT_DIR to BUILD_DIR/dist; the installer is
#   VormetraProxy-Setup-VERSION.exe (i686) or VormetraProxy-Setup-VERSION-x64.exe (x86_64).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$(cd "$1" && pwd)
arch=$2
version=${3:-$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")}
output=${4:-$build/dist}
if ! [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  echo "installer: no version x.y.z for $build (got [$version])" >&2
  exit 1
fi
suffix=""
[ "$arch" = x86_64 ] && suffix="-x64"
name=VormetraProxy-Setup-$version$suffix.exe

stage=$build/installer/stage
rm -rf "$stage"
mkdir -p "$stage" "$output"
for file in VormetraProxy.exe "libcrypto-3$suffix.dll" "libssl-3$suffix.dll"; do
  "$arch-w64-mingw32-strip" -o "$stage/$file" "$build/dist/$file"
  bash tools/sign.sh "$stage/$file"
done
cp "$build/dist/certs.bat" installer/Upute.txt "$stage/"

# One installer per version in dist/: an earlier version's is gone with the build that made it.
[ "$output" = "$build/dist" ] && rm -f "$output"/VormetraProxy-Setup-*.exe
makensis -V3 -WX -INPUTCHARSET UTF8 -DVERSION="$version" -DARCH="$arch" -DSTAGE="$stage" \
  -DOUTFILE="$output/$name" -DICON="$build/ui-images/mainicon.ico" -DSIGN="bash $root/tools/sign.sh" installer/VormetraProxy.nsi \
  >"$build/installer/makensis.log" 2>&1 || {
  echo "installer: makensis failed: $(tail -n 20 "$build/installer/makensis.log")" >&2
  exit 1
}
echo "installer: $output/$name ($(du -k "$output/$name" | cut -f1) KB, signed)"
