#!/usr/bin/env bash
# korvalindd makes no window of the forms layer, so it must not load the
# common controls, which hold much memory under Wine (bench/footprint).
#   imports_test.sh OBJDUMP KORVALINDD_EXE
set -u
imports=$("$1" -p "$2" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr 'A-Z' 'a-z')
if ! grep -qx kernel32.dll <<<"$imports"; then
  echo "no import table read from $2"
  exit 1
fi
if grep -qx comctl32.dll <<<"$imports"; then
  echo "$2 imports comctl32.dll; its imports:" $imports
  exit 1
fi
echo "$2 imports:" $imports
