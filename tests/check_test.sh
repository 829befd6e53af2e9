#!/usr/bin/env bash
# Black-box tests of Lomvik-check, with Lomvik making the inf files it checks.
#
#   check_test.sh PATH_TO_LOMVIK PATH_TO_LOMVIK_CHECK [RUNNER...]
#
# LOMVIK_TEST_WINDOWS=1: a Windows build, whose text output ends lines with CR LF and whose folder
# search names files with backslashes; cases that need POSIX names or files are left out.
set -u

lomvik=$1
check=$2
shift 2
runner=("$@")
case "$lomvik" in /*) ;; *) lomvik=$PWD/$lomvik ;; esac
case "$check" in /*) ;; *) check=$PWD/$check ;; esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
current=""

windows() { [ "${LOMVIK_TEST_WINDOWS:-0}" = 1 ]; }
# The separator in the names that a folder search finds.
if windows; then sep='\'; else sep=/; fi

# Text as a Windows build writes it: CR LF line ends.
as_text() {
  if windows; then printf '%s' "$1" | sed 's/$/\r/'; else printf '%s' "$1"; fi
}

bad() {
  echo "FAIL [$current]: $*"
  failed=$((failed + 1))
}

case_() {
  current=$1
  rm -rf "$work/case"
  mkdir "$work/case"
  cd "$work/case" || exit 1
}

stamp() { "${runner[@]}" "$lomvik" "$@" >/dev/null || bad "Lomvik $* failed"; }

run_check() {
  "${runner[@]}" "$check" "$@" >"$work/out" 2>"$work/err"
  status=$?
}

# expect STATUS STDOUT [STDERR]: the status, all of standard output, and standard error (empty
# unless given).
expect() {
  local ok=1
  [ "$status" = "$1" ] || { bad "status $status, expected $1"; ok=0; }
  if ! as_text "$2" | cmp -s - "$work/out"; then
    bad "standard output:"; cat "$work/out"; ok=0
  fi
  if ! as_text "${3:-}" | cmp -s - "$work/err"; then
    bad "standard error:"; cat "$work/err"; ok=0
  fi
  [ $ok = 1 ] && passed=$((passed + 1))
}

# A small release folder: two good images, made by a -n run and by an in-place update.
release() {
  mkdir -p rel/sub
  printf abc >rel/image.bin
  printf '123456789' >rel/sub/boot.bin
  stamp -n rel/image.bin
  printf 'XXXX0000 release notes\r\n' >rel/sub/boot.bin.inf
  stamp rel/sub/boot.bin
}

case_ "good files pass, named or found in a folder"
release
run_check rel/image.bin rel/sub/boot.bin
expect 0 $'rel/image.bin: OK\nrel/sub/boot.bin: OK\n'
run_check rel
expect 0 "rel${sep}image.bin: OK"$'\n'"rel${sep}sub${sep}boot.bin: OK"$'\n'
run_check -q rel
expect 0 ""

case_ "a changed data file"
release
printf abd >rel/image.bin
run_check rel
expect 1 "rel${sep}image.bin: FAILED data crc: inf says 59d2, file has 4401"$'\n'"rel${sep}sub${sep}boot.bin: OK"$'\n' \
  $'Lomvik-check: 1 of 2 files failed: 1 mismatched, 0 could not be read\n'
run_check -q rel
expect 1 "rel${sep}image.bin: FAILED data crc: inf says 59d2, file has 4401"$'\n' \
  $'Lomvik-check: 1 of 2 files failed: 1 mismatched, 0 could not be read\n'
run_check -s rel
expect 1 ""

case_ "a changed free tail breaks the seal; Lomvik -i mends it"
release
printf 'f23e59d2 edited\n' >rel/image.bin.inf
run_check rel/image.bin
expect 1 $'rel/image.bin: FAILED seal: inf says f23e, inf file has ac3b\n' \
  $'Lomvik-check: 1 of 1 files failed: 1 mismatched, 0 could not be read\n'
stamp -i rel/image.bin
run_check rel/image.bin
expect 0 $'rel/image.bin: OK\n'

case_ "seal and data both wrong"
printf abc >x
printf '0000ffff\n' >x.inf
run_check x
expect 1 $'x: FAILED seal: inf says 0000, inf file has e613; data crc: inf says ffff, file has 59d2\n' \
  $'Lomvik-check: 1 of 1 files failed: 1 mismatched, 0 could not be read\n'

case_ "malformed inf files"
for content in 'f23e59d' 'F23E59D2' 'f23e59dz' ''; do
  printf abc >x
  printf '%s' "$content" >x.inf
  run_check x
  if [ ${#content} -lt 8 ]; then why="shorter than 8 bytes"; else why="bytes 0-7 are not lowercase hexadecimal digits"; fi
  expect 2 "x: FAILED malformed x.inf: $why"$'\n' \
    $'Lomvik-check: 1 of 1 files failed: 0 mismatched, 1 could not be read\n'
done

case_ "missing files"
printf abc >data
run_check data
expect 2 $'data: FAILED cannot read data.inf: No such file or directory\n' \
  $'Lomvik-check: 1 of 1 files failed: 0 mismatched, 1 could not be read\n'
printf 'f23e59d2\n' >gone.inf
run_check gone
expect 2 $'gone: FAILED cannot read gone: No such file or directory\n' \
  $'Lomvik-check: 1 of 1 files failed: 0 mismatched, 1 could not be read\n'
mkdir dir
printf 'f23e59d2\n' >dir/orphan.inf
run_check dir
expect 2 "dir${sep}orphan.inf: FAILED no data file dir${sep}orphan"$'\n' \
  $'Lomvik-check: 1 of 1 files failed: 0 mismatched, 1 could not be read\n'

case_ "a problem does not stop the run"
release
rm rel/image.bin
run_check rel/image.bin rel/sub/boot.bin
expect 2 $'rel/image.bin: FAILED cannot read rel/image.bin: No such file or directory\nrel/sub/boot.bin: OK\n' \
  $'Lomvik-check: 1 of 2 files failed: 0 mismatched, 1 could not be read\n'

case_ "an empty folder checks nothing"
mkdir empty
run_check empty
expect 2 "" $'Lomvik-check: no files checked\n'

if ! windows; then
  case_ "names with line breaks and backslashes stay on one line"
  printf abc >$'two\nlines'
  stamp -n $'two\nlines'
  printf abc >'back\slash'
  stamp -n 'back\slash'
  run_check $'two\nlines' 'back\slash'
  expect 0 $'two\\nlines: OK\nback\\\\slash: OK\n'
fi

case_ "the command line"
printf abc >-q
stamp -n ./-q
run_check -- -q
expect 0 $'-q: OK\n'
run_check
expect 2 "" $'Lomvik-check: no PATH given\nTry \'Lomvik-check --help\'.\n'
run_check -x file
expect 2 "" $'Lomvik-check: unknown option \'-x\'\nTry \'Lomvik-check --help\'.\n'
run_check --version
expect 0 $'Lomvik-check 1.0.0\n'
run_check --help
[ "$status" = 0 ] && grep -q '^Usage: Lomvik-check' "$work/out" && passed=$((passed + 1)) ||
  bad "--help"

if ! windows; then
  case_ "output that cannot be written"
  printf abc >x
  stamp -n x
  "${runner[@]}" "$check" x >/dev/full 2>/dev/null
  [ $? = 2 ] || bad "standard output on a full disk: status not 2"
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
