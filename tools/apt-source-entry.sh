#!/usr/bin/env bash
# Prints, in deb822 form, the deb-src twin of every enabled Debian archive entry in an apt
# configuration folder: deb822 stanzas (*.sources) and one-line entries (sources.list, *.list)
# alike, so a source package comes from the same mirror and suites as the binary packages.
#
# Usage: tools/apt-source-entry.sh [APT_ETC [SKIP_FILE]]
#   APT_ETC    the folder to read (default /etc/apt)
#   SKIP_FILE  a file in it not to read (the entry this script's caller writes)
# Exit code 1, with the reason on stderr, when no Debian archive entry is configured.
set -euo pipefail

etc=${1:-/etc/apt}
skip=${2:-}

# One-line entries: "deb [option=value ...] URI SUITE COMPONENT...". Of the options only the key
# matters to a source entry.
one_line_entries() {
  awk '
    { sub(/^[ \t]+/, "") }
    $1 != "deb" { next }
    {
      line = $0; sub(/^deb[ \t]+/, "", line); signed = ""
      if (substr(line, 1, 1) == "[") {
        end = index(line, "]"); if (end == 0) next
        n = split(substr(line, 2, end - 2), opts, /[ \t]+/)
        for (i = 1; i <= n; i++)
          if (tolower(substr(opts[i], 1, 10)) == "signed-by=") signed = substr(opts[i], 11)
        line = substr(line, end + 1)
      }
      sub(/^[ \t]+/, "", line); sub(/[ \t]*(#.*)?$/, "", line)
      n = split(line, f, /[ \t]+/)
      if (n < 3 || f[1] !~ /debian/) next
      comps = f[3]; for (i = 4; i <= n; i++) comps = comps " " f[i]
      printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n", f[1], f[2], comps
      if (signed != "") printf "Signed-By: %s\n", signed
      print ""
    }' "$@"
}

# deb822 stanzas: blank lines part them, "#" lines are comments (also inside a stanza), a line that
# starts with white space continues the field before it, field names have no letter case.
deb822_entries() {
  awk '
    function flush(   t, i, n, types, is_deb) {
      if (nf > 0 && tolower(val["enabled"]) != "no" && val["uris"] ~ /debian/) {
        n = split(val["types"], types, /[ \t]+/); is_deb = 0
        for (i = 1; i <= n; i++) if (types[i] == "deb") is_deb = 1
        if (is_deb && val["suites"] != "") {
          print "Types: deb-src"
          printf "URIs: %s\nSuites: %s\n", val["uris"], val["suites"]
          if (val["components"] != "") printf "Components: %s\n", val["components"]
          if (raw["signed-by"] != "") printf "Signed-By:%s\n", raw["signed-by"]
          print ""
        }
      }
      split("", val); split("", raw); nf = 0; field = ""
    }
    /^#/ { next }
    /^[ \t]*$/ { flush(); next }
    /^[ \t]/ { if (field != "") raw[field] = raw[field] "\n" $0; next }
    {
      colon = index($0, ":"); if (colon == 0) next
      field = tolower(substr($0, 1, colon - 1)); v = substr($0, colon + 1)
      raw[field] = v; sub(/^[ \t]+/, "", v); sub(/[ \t]+$/, "", v); val[field] = v; nf++
    }
    END { flush() }' "$@"
}

lists=() stanzas=()
for f in "$etc/sources.list" "$etc"/sources.list.d/*.list; do
  [ -f "$f" ] && [ "$f" != "$skip" ] && lists+=("$f")
done
for f in "$etc"/sources.list.d/*.sources; do
  [ -f "$f" ] && [ "$f" != "$skip" ] && stanzas+=("$f")
done

entries=""
if [ ${#lists[@]} -gt 0 ]; then entries+=$(one_line_entries "${lists[@]}"); fi
if [ ${#stanzas[@]} -gt 0 ]; then
  # Each file on its own, so one that ends without a blank line does not run into the next.
  for f in "${stanzas[@]}"; do entries+=$'\n\n'$(deb822_entries "$f"); done
fi
entries=$(printf '%s\n' "$entries" | cat -s | sed '/./,$!d')
if [ -z "$entries" ]; then
  echo "no enabled Debian archive entry in $etc" >&2
  exit 1
fi
printf '%s\n' "$entries"
