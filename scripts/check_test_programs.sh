#!/usr/bin/env bash
# Checks that every program the tests run is on this machine, and that
# scripts/test_programs.txt names every program the test sources run.
#   1. each program of the list must be found (else: its package, for
#      scripts/setup.sh test), and its package be one the setup installs;
#   2. the test, benchmark and Python test sources are searched for the
#      programs they start (a string that begins with a program's name, a
#      "command -v NAME" probe, a shell "for tool in ..." list); each one
#      found on this machine must be in the list.
set -euo pipefail
cd "$(dirname "$0")/.."
list=scripts/test_programs.txt
mapfile -t listed < <(grep -v '^#' "$list" | awk 'NF {print $1}')
status=0

for p in "${listed[@]}"; do
  if ! command -v "$p" >/dev/null 2>&1; then
    package=$(awk -v p="$p" '$1 == p {print $2}' "$list")
    echo "check_test_programs: $p is missing (Debian package $package; bash scripts/setup.sh test)" >&2
    status=1
  fi
done

# Each package must be one the setup installs (or one every Debian has).
for package in $(grep -v '^#' "$list" | awk 'NF {print $2}' | sort -u); do
  case "$package" in coreutils | dash) continue ;; esac
  if ! grep -qwF -- "$package" scripts/setup.sh; then
    echo "check_test_programs: $package is not installed by scripts/setup.sh test" >&2
    status=1
  fi
done

# Words that open such strings but are shell syntax or builtins.
shell_words=" cd command continue do done else false for if import read set size then true view w file more cut echo write "
found=$( {
  grep -rhoE '"(command -v )?[A-Za-z][A-Za-z0-9_.+-]* ' tests bench python --include='*.cpp' \
    --include='*.h' --include='*.py' | sed -E 's/^"(command -v )?//; s/ $//'
  grep -rhE '^\s*for tool in ' tests --include='*.sh' | sed -E 's/^\s*for tool in //; s/;.*//' | tr ' ' '\n'
} | sort -u)
for w in $found; do
  [[ "$shell_words" == *" $w "* ]] && continue
  command -v "$w" >/dev/null 2>&1 || continue
  case "$(type -t "$w")" in builtin | keyword) continue ;; esac
  if ! printf '%s\n' "${listed[@]}" | grep -qxF "$w"; then
    echo "check_test_programs: the tests run $w, which $list does not name" >&2
    status=1
  fi
done
if ((status == 0)); then echo "check_test_programs: ${#listed[@]} programs present"; fi
exit $status
