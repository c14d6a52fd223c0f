#!/usr/bin/env bash
# Checks the shared library's dynamic symbol table against the marks of its headers:
#   check-exports.sh LIBRARY OBJECT_LIST VERSION
# OBJECT_LIST holds the library's object files (;-separated, as CMake writes them).
# - every symbol the library defines carries VERSION (LOBBYKIT_0);
# - the exported set is exactly the set of symbols the objects give default visibility
#   (LOBBYKIT_API / WINPORT_API), less the C++ library's template instances and the shared
#   section's bounds: nothing unmarked leaks out, nothing marked is left out of the version
#   script's patterns;
# - no call of the library to a function it defines goes through the PLT (or the GOT), so
#   another library of the host cannot take it over.
set -euo pipefail
lib=$1 list=$2 version=$3
fail=0
complain() { printf 'check-exports: %s\n%s\n' "$1" "$(sed 's/^/  /' <<<"$2")" >&2; fail=1; }
# Not lobbykit's: the C++ library's template instances, the shared section's bounds, and what
# the sanitizers add (ASan's ODR indicators, their hooks).
not_ours='^_Z(TV|TI|TS|GV|Z)?N?K?(St|9__gnu_cxx)|^__(start|stop)_|^__(odr_asan|asan|ubsan|tsan|sancov)'

mapfile -t versioned < <(nm -D --defined-only --with-symbol-versions "$lib" | awk '$2 != "A" {print $3}')
((${#versioned[@]} > 100)) || complain "only ${#versioned[@]} symbols exported by $lib" ""
unversioned=$(printf '%s\n' "${versioned[@]}" | grep -v "@@$version\$" || true)
[[ -z $unversioned ]] || complain "symbols without version $version:" "$unversioned"

exported=$(printf '%s\n' "${versioned[@]}" | sed 's/@.*//' | sort -u)
leaked=$(grep -E "$not_ours" <<<"$exported" || true)
[[ -z $leaked ]] || complain "exported, but not lobbykit's:" "$(c++filt <<<"$leaked")"

IFS=";" read -r -a objects < "$list" || true  # no newline at its end
marked=$(readelf -sW "${objects[@]}" |
         awk 'NF >= 8 && $5 != "LOCAL" && $6 == "DEFAULT" && $7 != "UND" {print $8}' |
         grep -Ev "$not_ours" | sort -u)
missing=$(comm -23 <(echo "$marked") <(echo "$exported"))
[[ -z $missing ]] || complain "marked for export in a header, missing from the version script's patterns:" \
  "$(c++filt <<<"$missing")"
extra=$(comm -13 <(echo "$marked") <(echo "$exported"))
[[ -z $extra ]] || complain "exported without a mark:" "$(c++filt <<<"$extra")"

functions=$(nm -D --defined-only "$lib" | awk '$2 == "T" || $2 == "W" || $2 == "i" {print $3}' | sed 's/@.*//' | sort -u)
relocated=$(readelf -rW "$lib" | awk '$3 ~ /JUMP_SLOT|GLOB_DAT/ {print $5}' | sed 's/@.*//' | sort -u)
interposable=$(comm -12 <(echo "$functions") <(echo "$relocated"))
[[ -z $interposable ]] || complain "own functions called through the PLT or GOT (interposable):" \
  "$(c++filt <<<"$interposable")"

((fail == 0)) && echo "check-exports: $(wc -l <<<"$exported") symbols, all $version, as the headers mark them"
exit $fail
