#!/usr/bin/env bash
# Every ELF file the build makes, and every one it installs, names its run path folders by
# $ORIGIN or an absolute path: the loader reads an empty entry, or a relative one, from the
# current directory, where anyone may have left a library of the same name.
#   runpath_test.sh BUILD_DIR
set -uo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
if ! cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1; then
  cat "$prefix.log"; rm -f "$prefix.log"
  echo "FAIL: cannot install the build to read its installed files"; exit 1
fi
rm -f "$prefix.log"
checked=0
failures=0
while IFS= read -r -d '' file; do
  [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
  checked=$((checked + 1))
  # (RUNPATH) Library runpath: [a:b]  or  (RPATH) Library rpath: [a:b]
  paths=$(readelf -d "$file" | sed -nE 's/.*\((RUNPATH|RPATH)\).*\[(.*)\]$/\2/p')
  while IFS= read -r line; do
    [ -n "$line" ] || continue
    # The entries of one run path, each on its own line; an empty one stays an empty line.
    while IFS= read -r entry; do
      case $entry in
        /*|'$ORIGIN'|'$ORIGIN'/*) ;;
        *) echo "FAIL: $file: run path [$line] has the entry '$entry'"; failures=$((failures + 1)) ;;
      esac
    done < <(printf '%s\n' "$line" | tr ':' '\n')
  done <<<"$paths"
done < <(find "$build" -maxdepth 1 -type f -print0; find "$prefix" -type f -print0)
if [ "$checked" -lt 5 ]; then
  echo "FAIL: only $checked ELF files found in $build and its installation"; exit 1
fi
[ "$failures" -eq 0 ] && echo "runpath_test: $checked ELF files, every run path entry absolute or \$ORIGIN"
exit $((failures > 0))
