#!/usr/bin/env bash
# The tree keeps one format: every C++ file as clang-format writes it (.clang-format), and every
# shell script (the Debian package's maintainer scripts too) clean under shellcheck.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
unformatted=()
for f in "${sources[@]}"; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || unformatted+=("$f")
done
if [ ${#unformatted[@]} -gt 0 ]; then
  echo "Not formatted as .clang-format says (clang-format -i FILE mends it):"
  printf '  %s\n' "${unformatted[@]}"
  exit 1
fi

mapfile -t scripts < <(git ls-files '*.sh' .ci/run installer/debian/postinst installer/debian/prerm \
  installer/debian/postrm)
shellcheck -x -P SCRIPTDIR "${scripts[@]}"
