#!/usr/bin/env bash
# The plug-in and the stand-in's three libraries need nothing but each other and the C and C++
# runtimes (and a sanitizer's runtime in a sanitizer build): the emulator that runs a DLL, the
# loader and whatever the simulator uses belong to the programs, never to the host's libraries
# or to what a plug-in is linked against. Every shared library the loader would bring in is read
# from each file's dynamic section, recursively through the project's own libraries.
#   needed_test.sh BUILD_DIR
set -uo pipefail
build=$1
allowed='^(libstandin_(scripts|strings|memory)\.so|libc\.so\.6|libm\.so\.6|libstdc\+\+\.so\.6|libgcc_s\.so\.1|ld-linux.*|lib(a|ub)san\.so\.[0-9]+)$'
failures=0
checked=0
for library in libveltrask.so libstandin_scripts.so libstandin_strings.so libstandin_memory.so; do
  file="$build/$library"
  if [ "$library" = libstandin_memory.so ] && [ ! -e "$file" ]; then
    continue  # a sanitizer build compiles the memory manager into each program instead
  fi
  if [ ! -e "$file" ]; then
    echo "FAIL: $file was not built"; failures=$((failures + 1)); continue
  fi
  checked=$((checked + 1))
  needed=$(readelf -d "$file" | sed -nE 's/.*\(NEEDED\).*\[(.*)\]$/\1/p')
  [ -n "$needed" ] || { echo "FAIL: $file needs no library at all: not read"; failures=$((failures + 1)); }
  while IFS= read -r name; do
    [ -n "$name" ] || continue
    if ! [[ $name =~ $allowed ]]; then
      echo "FAIL: $library needs $name"
      failures=$((failures + 1))
    fi
  done <<<"$needed"
done
[ "$checked" -ge 3 ] || { echo "FAIL: only $checked libraries checked"; exit 1; }
[ "$failures" -eq 0 ] || exit 1
echo "$checked libraries need only the host's libraries and the runtimes"
