#!/usr/bin/env bash
# Black-box test of the bash completions: source each one, set COMP_WORDS and COMP_CWORD as bash
# does, call the function that `complete -p` names and compare COMPREPLY.
# Usage: completion_test.sh COMPLETIONS_FOLDER
set -uo pipefail
completions=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2
mkdir rel
touch -- image.bin image.bin.inf notes.txt rel/boot.bin 'with space' -q

failures=0
# Each case: the command line, with "|" where the cursor is (at the end of a word), and the
# expected completions, sorted, separated by commas.
cases=(
  'Lomvik |'                      '-q,image.bin,image.bin.inf,notes.txt,rel,with space'
  'Lomvik im|'                    'image.bin,image.bin.inf'
  'Lomvik -|'                     '-i,-n,-v'
  'Lomvik -n -v -|'               '-i,-n,-v'
  'Lomvik -i -v no|'              'notes.txt'
  'Lomvik rel/|'                  'rel/boot.bin'
  'Lomvik wi|'                    'with space'
  'Lomvik image.bin |'            ''
  'Lomvik image.bin -|'           ''
  'Lomvik -nv |'                  ''
  'Lomvik-check |'                '-q,image.bin,image.bin.inf,notes.txt,rel,with space'
  'Lomvik-check -|'               '--,--help,--json,--no-progress,--progress,--quiet,--status,--unstamped,--version,-h,-q,-s'
  'Lomvik-check --q|'             '--quiet'
  'Lomvik-check --ver|'           '--version'
  'Lomvik-check image.bin -|'     '--,--help,--json,--no-progress,--progress,--quiet,--status,--unstamped,--version,-h,-q,-s'
  'Lomvik-check --un|'            '--unstamped'
  'Lomvik-check --pro|'           '--progress'
  'Lomvik-check -q re|'           'rel'
  'Lomvik-check -s rel image.bin.|' 'image.bin.inf'
  'Lomvik-check -- -|'            '-q'
  'Lomvik-check -- image.bin -|'  '-q'
)

for ((c = 0; c < ${#cases[@]}; c += 2)); do
  line=${cases[c]}
  expected=${cases[c + 1]}
  read -ra COMP_WORDS <<<"${line%|}"
  [[ $line == *' |' ]] && COMP_WORDS+=('')
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE=${line%|}
  COMP_POINT=${#COMP_LINE}
  command=${COMP_WORDS[0]}
  # A fresh shell state for each case: the completion is sourced as bash-completion loads it.
  actual=$(
    # shellcheck disable=SC1090
    source "$completions/$command" || exit 2
    registration=$(complete -p "$command") || exit 2
    [[ $registration =~ -F\ ([^ ]+) ]] || exit 2
    COMPREPLY=(stale)
    "${BASH_REMATCH[1]}" "$command" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd, -
  )
  if [[ $actual != "$expected" ]]; then
    echo "FAIL: '$line': expected '$expected', got '$actual'"
    failures=$((failures + 1))
  fi
done

if ((failures > 0)); then
  echo "$failures completion case(s) failed"
  exit 1
fi
echo "all completion cases passed"
