#!/usr/bin/env bash
# Black-box tests of Lomvik-check, with Lomvik making the inf files it checks.
#
#   check_test.sh PATH_TO_LOMVIK PATH_TO_LOMVIK_CHECK [RUNNER...]
#
# LOMVIK_TEST_WINDOWS=1: a Windows build, whose text output ends lines with CR LF and whose folder
# search names files with backslashes; cases that need POSIX names or files are left out.
set -u

here=$(cd "$(dirname "$0")" && pwd)
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
# A sanitized build, whose runtime needs descriptors and threads of its own.
sanitized() { [ "${LOMVIK_TEST_SANITIZED:-0}" = 1 ]; }
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
  $'Lomvik-check: 1 of 2 files failed: 1 mismatched, 0 malformed, 0 could not be read\n'
run_check -q rel
expect 1 "rel${sep}image.bin: FAILED data crc: inf says 59d2, file has 4401"$'\n' \
  $'Lomvik-check: 1 of 2 files failed: 1 mismatched, 0 malformed, 0 could not be read\n'
run_check -s rel
expect 1 ""

case_ "a changed free tail breaks the seal; Lomvik -i mends it"
release
printf 'f23e59d2 edited\n' >rel/image.bin.inf
run_check rel/image.bin
expect 1 $'rel/image.bin: FAILED seal: inf says f23e, inf file has ac3b\n' \
  $'Lomvik-check: 1 of 1 files failed: 1 mismatched, 0 malformed, 0 could not be read\n'
stamp -i rel/image.bin
run_check rel/image.bin
expect 0 $'rel/image.bin: OK\n'

case_ "seal and data both wrong"
printf abc >x
printf '0000ffff\n' >x.inf
run_check x
expect 1 $'x: FAILED seal: inf says 0000, inf file has e613; data crc: inf says ffff, file has 59d2\n' \
  $'Lomvik-check: 1 of 1 files failed: 1 mismatched, 0 malformed, 0 could not be read\n'

case_ "malformed inf files"
for content in 'f23e59d' 'F23E59D2' 'f23e59dz' ''; do
  printf abc >x
  printf '%s' "$content" >x.inf
  run_check x
  if [ ${#content} -lt 8 ]; then why="shorter than 8 bytes"; else why="bytes 0-7 are not lowercase hexadecimal digits"; fi
  expect 2 "x: FAILED malformed x.inf: $why"$'\n' \
    $'Lomvik-check: 1 of 1 files failed: 0 mismatched, 1 malformed, 0 could not be read\n'
done

case_ "missing files"
printf abc >data
run_check data
expect 2 $'data: FAILED cannot read data.inf: No such file or directory\n' \
  $'Lomvik-check: 1 of 1 files failed: 0 mismatched, 0 malformed, 1 could not be read\n'
printf 'f23e59d2\n' >gone.inf
run_check gone
expect 2 $'gone: FAILED cannot read gone: No such file or directory\n' \
  $'Lomvik-check: 1 of 1 files failed: 0 mismatched, 0 malformed, 1 could not be read\n'
mkdir dir
printf 'f23e59d2\n' >dir/orphan.inf
run_check dir
expect 2 "dir${sep}orphan.inf: FAILED no data file dir${sep}orphan"$'\n' \
  $'Lomvik-check: 1 of 1 files failed: 0 mismatched, 0 malformed, 1 could not be read\n'

case_ "a problem does not stop the run"
release
rm rel/image.bin
run_check rel/image.bin rel/sub/boot.bin
expect 2 $'rel/image.bin: FAILED cannot read rel/image.bin: No such file or directory\nrel/sub/boot.bin: OK\n' \
  $'Lomvik-check: 1 of 2 files failed: 0 mismatched, 0 malformed, 1 could not be read\n'

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

case_ "short options combine, and -h is --help"
release
printf abd >rel/image.bin
for options in -qs -sq; do
  run_check $options rel
  expect 1 ""
done
run_check -q -- rel/image.bin
expect 1 $'rel/image.bin: FAILED data crc: inf says 59d2, file has 4401\n' \
  $'Lomvik-check: 1 of 1 files failed: 1 mismatched, 0 malformed, 0 could not be read\n'
run_check -qx rel
expect 2 "" $'Lomvik-check: unknown option \'-qx\'\nTry \'Lomvik-check --help\'.\n'
run_check -h
[ "$status" = 0 ] && grep -q '^Usage: Lomvik-check' "$work/out" && passed=$((passed + 1)) ||
  bad "-h"

case_ "a named inf file stands for its data file"
release
run_check rel/image.bin.inf rel/sub/boot.bin.inf
expect 0 $'rel/image.bin: OK\nrel/sub/boot.bin: OK\n'
# Without its data file, the name is a data file's name as always.
printf 'f23e59d2\n' >alone.inf
run_check alone.inf
expect 2 $'alone.inf: FAILED cannot read alone.inf.inf: No such file or directory\n' \
  $'Lomvik-check: 1 of 1 files failed: 0 mismatched, 0 malformed, 1 could not be read\n'

case_ "--unstamped reports the files of a folder that have no inf file"
release
printf new >rel/new.bin
printf 'f23e59d2\n' >rel/sub/orphan.inf
run_check --unstamped rel
expect 2 "rel${sep}image.bin: OK
rel${sep}new.bin: FAILED no inf file
rel${sep}sub${sep}boot.bin: OK
rel${sep}sub${sep}orphan.inf: FAILED no data file rel${sep}sub${sep}orphan
" $'Lomvik-check: 2 of 4 files failed: 0 mismatched, 0 malformed, 1 could not be read, 1 without inf file\n'
run_check rel
expect 2 "rel${sep}image.bin: OK
rel${sep}sub${sep}boot.bin: OK
rel${sep}sub${sep}orphan.inf: FAILED no data file rel${sep}sub${sep}orphan
" $'Lomvik-check: 1 of 3 files failed: 0 mismatched, 0 malformed, 1 could not be read\n'

if windows; then
  case_ "wildcards are expanded, as Windows shells leave them to the program"
  mkdir sub
  printf abc >sub/a.bin
  printf 123456789 >sub/B.BIN
  printf x >sub/notes.txt
  stamp -n sub/a.bin
  stamp -n sub/B.BIN
  run_check 'sub\*.bin'
  expect 0 $'sub\\B.BIN: OK\nsub\\a.bin: OK\n'
  run_check 'sub/?.bin' sub/notes.txt
  expect 2 $'sub/B.BIN: OK\nsub/a.bin: OK\nsub/notes.txt: FAILED cannot read sub/notes.txt.inf: No such file or directory\n' \
    $'Lomvik-check: 1 of 3 files failed: 0 mismatched, 0 malformed, 1 could not be read\n'
fi

if command -v python3 >/dev/null; then
  case_ "--json: one JSON object per file in order, names with any bytes, and the totals"
  release
  printf abd >rel/image.bin
  printf 'XYZ' >rel/short.inf
  printf x >rel/short
  if windows; then
    odd='zz données データ'
  else
    odd=$'zz tab\there, line\nbreak, \x01, bad \xff\xfe UTF-8, "quoted" \\'
  fi
  printf abc >"rel/$odd"
  stamp -n "rel/$odd"
  run_check --json rel
  [ "$status" = 2 ] || bad "--json: status $status, expected 2"
  # Every line parses; names come back byte for byte; the values are where they belong.
  if python3 - "$work/out" "$sep" "$odd" >"$work/json" 2>&1 <<'PYTHON'; then passed=$((passed + 1)); else bad "--json: $(cat "$work/json")"; fi
import json, os, sys
out, sep, odd = sys.argv[1], sys.argv[2], sys.argv[3]
lines = open(out, "rb").read().split(b"\n")
assert lines[-1] == b"", "no line feed at the end"
objects = [json.loads(line) for line in lines[:-1]]
files, summary = objects[:-1], objects[-1]
names = [f["name"].encode("utf-8", "surrogateescape") for f in files]
odd_name = os.fsencode(odd)
want = [b"rel" + sep.encode() + name for name in (b"image.bin", b"short", b"sub" + sep.encode() + b"boot.bin", odd_name)]
assert names == want, names
for name in names:
    path = name.replace(sep.encode(), os.sep.encode())
    assert os.path.exists(os.fsdecode(path)), path
image, short, boot, odd_file = files
assert image == {"name": "rel" + sep + "image.bin", "result": "mismatch", "seal": "f23e",
                 "inf_body_crc": "f23e", "stamped_data_crc": "59d2", "data_crc": "4401",
                 "reason": "data crc: inf says 59d2, file has 4401"}, image
assert odd_file["result"] == "ok" and odd_file["data_crc"] == "59d2" and "reason" not in odd_file
assert short["result"] == "malformed" and "seal" not in short, short
assert boot["result"] == "ok", boot
assert summary == {"summary": True, "files": 4, "passed": 2, "failed": 2, "mismatched": 1,
                   "malformed": 1, "unreadable": 0, "unstamped": 0, "status": 2}, summary
PYTHON
  run_check --json -q rel/sub/boot.bin
  expect 0 $'{"summary":true,"files":1,"passed":1,"failed":0,"mismatched":0,"malformed":0,"unreadable":0,"unstamped":0,"status":0}\n'
  run_check --json -s rel
  expect 2 ""
fi

if ! windows && [ ${#runner[@]} = 0 ] && command -v script >/dev/null &&
  command -v python3 >/dev/null; then
  case_ "a status line on a terminal, cleared before each result line and at the end"
  mkdir big
  truncate -s 4G big/image
  printf abc >big/small
  stamp -n big/image
  stamp -n big/small
  screen() { python3 "$here/terminal_screen.py" "$1"; }
  # The portable kernel makes the check last long enough for a few redraws.
  LOMVIK_CRC_KERNEL=portable script -qec "'$check' big" /dev/null >"$work/terminal"
  status=$?
  if [ $status = 0 ] && grep -aq 'Lomvik-check: [0-9]* \(of 2 \)\{0,1\}files, ' "$work/terminal" &&
    [ "$(screen "$work/terminal")" = $'big/image: OK\nbig/small: OK' ]; then
    passed=$((passed + 1))
  else
    bad "status line on a terminal (status $status); the screen shows:"
    screen "$work/terminal" | od -c | head -n 8
    grep -ac 'Lomvik-check: ' "$work/terminal"
  fi
  # Redirected, or with -s, there is none; --progress forces it, --no-progress keeps it off.
  run_check big
  expect 0 $'big/image: OK\nbig/small: OK\n'
  LOMVIK_CRC_KERNEL=portable run_check --progress -q big
  if [ "$status" = 0 ] && [ ! -s "$work/out" ] && grep -aq 'Lomvik-check: ' "$work/err" &&
    [ -z "$(screen "$work/err")" ]; then
    passed=$((passed + 1))
  else
    bad "--progress: status $status, standard error: $(od -c "$work/err" | head -n 4)"
  fi
  LOMVIK_CRC_KERNEL=portable script -qec "'$check' --no-progress -s big; '$check' -s big" /dev/null >"$work/terminal"
  [ ! -s "$work/terminal" ] && passed=$((passed + 1)) || bad "a status line with -s or --no-progress"
fi

case_ "a folder in the inf file's place, and a file named .inf"
mkdir r
printf abc >r/a
stamp -n r/a
printf abc >r/b
mkdir r/b.inf
printf x >r/.inf
run_check --unstamped r
expect 2 "r${sep}a: OK
r${sep}b: FAILED r${sep}b.inf is not a regular file
" $'Lomvik-check: 1 of 2 files failed: 0 mismatched, 0 malformed, 1 could not be read, 0 without inf file\n'
run_check r/b
expect 2 $'r/b: FAILED r/b.inf is not a regular file\n' \
  $'Lomvik-check: 1 of 1 files failed: 0 mismatched, 0 malformed, 1 could not be read\n'
# ".inf" names no data file: it is a data file's name like any other.
run_check r/.inf
expect 2 $'r/.inf: FAILED cannot read r/.inf.inf: No such file or directory\n' \
  $'Lomvik-check: 1 of 1 files failed: 0 mismatched, 0 malformed, 1 could not be read\n'

case_ "concurrent runs take turns: every run succeeds and the inf file ends sealed"
printf abc >c
stamp -n c
rounds=200
windows && rounds=10
broken=0
for ((round = 0; round < rounds; round++)); do
  "${runner[@]}" "$lomvik" -n c >/dev/null & first=$!
  "${runner[@]}" "$lomvik" -n c >/dev/null & second=$!
  "${runner[@]}" "$check" -s c & checker=$!
  wait $first || broken=$((broken + 1))
  wait $second || broken=$((broken + 1))
  wait $checker || broken=$((broken + 1))
  [ "$(od -An -c c.inf)" = "$(printf 'f23e59d2\n' | od -An -c)" ] || broken=$((broken + 1))
done
[ $broken = 0 ] && passed=$((passed + 1)) || bad "$broken failures in $rounds rounds"

if ! windows; then
  # A run that waits for a FIFO or reads a device forever is stopped and ends with status 124.
  run_check_no_hang() {
    timeout 10 "${runner[@]}" "$check" "$@" >"$work/out" 2>"$work/err"
    status=$?
  }

  case_ "only regular files are read; anything else is reported by name"
  mkdir s
  printf abc >s/good
  stamp -n s/good
  mkfifo s/fifo
  ln -s /dev/zero s/zero
  ln -s /dev/stdin s/stdin
  for data in fifo zero stdin; do cp s/good.inf "s/$data.inf"; done
  printf abc >s/fifo-inf
  mkfifo s/fifo-inf.inf
  ln -s nowhere s/dangling.inf
  ln -s looping.inf s/looping.inf
  # Standard input holds what the data file should: it must still not be read.
  run_check_no_hang s < <(printf abc)
  expect 2 's/dangling.inf: FAILED broken link
s/fifo-inf.inf: FAILED not a regular file
s/fifo: FAILED not a regular file
s/good: OK
s/looping.inf: FAILED cannot read: Too many levels of symbolic links
s/stdin: FAILED not a regular file
s/zero: FAILED not a regular file
' \
    $'Lomvik-check: 6 of 7 files failed: 0 mismatched, 0 malformed, 6 could not be read\n'
  run_check_no_hang s/fifo s/zero s/fifo-inf < <(printf abc)
  expect 2 $'s/fifo: FAILED not a regular file\ns/zero: FAILED not a regular file\ns/fifo-inf: FAILED s/fifo-inf.inf is not a regular file\n' \
    $'Lomvik-check: 3 of 3 files failed: 0 mismatched, 0 malformed, 3 could not be read\n'

  case_ "any depth, beyond the system's path limit, with few descriptors"
  mkdir deep
  (
    cd deep || exit 1
    for ((level = 0; level < 1100; level++)); do mkdir dddd && cd dddd || exit 1; done
    printf abc >f
    "${runner[@]}" "$lomvik" -n f
  ) || bad "cannot make the deep tree"
  # Something after the deep chain: the walk must find its way back up.
  printf abc >deep/zz
  stamp -n deep/zz
  (ulimit -n 24 && exec "${runner[@]}" "$check" deep) >"$work/out" 2>"$work/err"
  status=$?
  expect 0 "deep$(printf '/dddd%.0s' {1..1100})/f: OK"$'\ndeep/zz: OK\n'

  if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
    case_ "a folder that cannot be read is reported by its name and the walk goes on"
    chmod 755 "$work"
    mkdir -p p/d1 p/d3 p/d5
    for d in d1 d3 d5; do
      printf abc >"p/$d/f"
      stamp -n "p/$d/f"
    done
    printf abd >p/d5/f
    chmod 000 p/d3
    setpriv --reuid=65534 --regid=65534 --clear-groups "${runner[@]}" "$check" p >"$work/out" 2>"$work/err"
    status=$?
    expect 2 $'p/d1/f: OK\np/d3: FAILED cannot read folder: Permission denied\np/d5/f: FAILED data crc: inf says 59d2, file has 4401\n' \
      $'Lomvik-check: 2 of 3 files failed: 1 mismatched, 0 malformed, 1 could not be read\n'
    chmod 755 p/d3
  fi

  if [ ${#runner[@]} = 0 ] && [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null && ! sanitized; then
    case_ "checks go on without worker threads when none can be had"
    chmod 755 "$work" "$work/case"
    release
    setpriv --reuid=65534 --regid=65534 --clear-groups prlimit --nproc=1:1 \
      "$check" --progress rel >"$work/out" 2>"$work/err"
    status=$?
    expect 0 $'rel/image.bin: OK\nrel/sub/boot.bin: OK\n'
  fi

  case_ "output that cannot be written"
  printf abc >x
  stamp -n x
  "${runner[@]}" "$check" x >/dev/full 2>/dev/null
  [ $? = 2 ] || bad "standard output on a full disk: status not 2"
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
