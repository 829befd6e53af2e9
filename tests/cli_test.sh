#!/usr/bin/env bash
# Black-box tests of the Lomvik command: its standard output byte for byte, its standard error
# (always empty), its exit status and the files it leaves behind.
#
#   cli_test.sh PATH_TO_LOMVIK [RUNNER...]
#
# RUNNER, when given, starts the tool (for example qemu-aarch64, or wine for a Windows build).
# LOMVIK_TEST_WINDOWS=1 expects the messages with CR LF line ends (inf files never change) and
# leaves out the cases that need POSIX files such as FIFOs and /dev/full.
set -u

tool=$1
shift
runner=("$@")
case "$tool" in /*) ;; *) tool=$PWD/$tool ;; esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

banner=$'Lomvik v01.00: by velmoth3. ZK8/ZK9 crc calculator.\n\n'
usage="${banner}use:
  Lomvik [-n][-i][-v] filename

options:
  -n = new .inf file
  -i = only .inf file crc
  -v = only view result, no write to inf file
"
io_error="${banner}ERROR while read/write .INF file
"

passed=0
failed=0
current=""

# Starts a case in an empty folder.
case_() {
  current=$1
  rm -rf "$work/case"
  mkdir "$work/case"
  cd "$work/case" || exit 1
}

windows() { [ "${LOMVIK_TEST_WINDOWS:-0}" = 1 ]; }
# A sanitized build, whose runtime needs descriptors and threads of its own.
sanitized() { [ "${LOMVIK_TEST_SANITIZED:-0}" = 1 ]; }

# Runs the tool; standard input is empty unless redirected by the caller.
lomvik() {
  "${runner[@]}" "$tool" "$@" >"$work/out" 2>"$work/err"
  status=$?
}

# The same, stopped after a few seconds: a run that waits for a FIFO or reads a device forever ends
# with status 124.
lomvik_no_hang() {
  timeout 5 "${runner[@]}" "$tool" "$@" >"$work/out" 2>"$work/err"
  status=$?
}

bad() {
  echo "FAIL [$current]: $*"
  failed=$((failed + 1))
}

# expect STATUS OUTPUT: the exit status and the whole standard output.
expect() {
  local want_status=$1 want_out=$2
  if windows; then want_out=$(printf '%s' "$want_out" | sed 's/$/\r/'; echo x); want_out=${want_out%x}; fi
  local ok=1
  if [ "$status" != "$want_status" ]; then bad "status $status, expected $want_status"; ok=0; fi
  if ! printf '%s' "$want_out" | cmp -s - "$work/out"; then
    bad "standard output differs:"; od -c "$work/out" | head -n 12; ok=0
  fi
  if [ -s "$work/err" ]; then bad "standard error not empty:"; head -n 5 "$work/err"; ok=0; fi
  [ $ok = 1 ] && passed=$((passed + 1))
}

# holds FILE CONTENT: the file exists with exactly these bytes.
holds() {
  if [ ! -f "$1" ]; then bad "$1 missing"; return; fi
  printf '%s' "$2" | cmp -s - "$1" || { bad "$1 holds:"; od -c "$1" | head -n 5; }
}

# Keeps the standard output of the last run, byte for byte, in want.
keep_output() {
  want=$(cat "$work/out"; echo x)
  want=${want%x}
}

# expect_result CRC: status 0 and the result message with that CRC.
expect_result() { expect 0 "${banner}CRC = $1"$'\n'; }

absent() { [ ! -e "$1" ] || bad "$1 should not exist"; }

# --- the command line -----------------------------------------------------------------------

case_ "no arguments"
lomvik
expect 255 "$usage"

for options in "-v" "-n" "-i" "-n -i -v -v"; do
  case_ "options only: $options"
  # shellcheck disable=SC2086
  lomvik $options
  expect 255 "$usage"
done

for name in "-x" "-N" "-nv" "--" "-"; do
  case_ "$name is a file name"
  printf abc >abc
  printf 'keep' >abc.inf
  lomvik "$name" abc
  expect 255 "$usage"
  holds abc.inf 'keep'
done

case_ "-i with an unknown option looks for its inf file"
printf 'ABCD1234\n' >abc.inf
lomvik -i -x abc
expect 255 "$io_error"
holds abc.inf $'ABCD1234\n'

case_ "-x names an existing file"
printf abc >-x
lomvik -v -x
expect_result 59d2

case_ "an option after the file name is ignored"
printf abc >abc
printf 'ABCD1234rest\n' >abc.inf
lomvik abc -v
expect 0 ""
holds abc.inf $'333d59d2rest\n'

# --- the option combinations ----------------------------------------------------------------

case_ "-v prints the data crc"
printf abc >abc
lomvik -v abc
expect_result 59d2
absent abc.inf
printf at >at
lomvik -v at
expect_result 0051

for options in "" "-n" "-i" "-v" "-i -v" "-n -i -v"; do
  case_ "an empty file name with options '$options'"
  printf '0000abcd\n' >.inf
  # shellcheck disable=SC2086
  lomvik $options ""
  expect 255 "$usage"
  holds .inf $'0000abcd\n'
done

case_ "-n -v creates nothing"
printf abc >abc
lomvik -n -v abc
expect_result 59d2
absent abc.inf

case_ "-n creates, -i -v shows the seal"
printf abc >abc
lomvik -n abc
expect 0 ""
holds abc.inf $'f23e59d2\n'
lomvik -i -v abc
expect_result f23e
holds abc.inf $'f23e59d2\n'

case_ "-n empties an existing inf file"
printf abc >abc
printf 'old content that goes\n' >abc.inf
lomvik -n abc
expect 0 ""
holds abc.inf $'f23e59d2\n'

case_ "empty data file"
: >empty
lomvik -n empty
expect 0 ""
holds empty.inf $'9a530000\n'

case_ "no option stamps in place and keeps the tail"
printf abc >abc
printf 'ABCD1234rest\r\nmore\n' >abc.inf
lomvik abc
expect 0 ""
lomvik -i -v abc
expect_result "$(head -c 4 abc.inf)"
[ "$(tail -c +5 abc.inf)" = $'59d2rest\r\nmore' ] || bad "tail changed: $(od -c abc.inf)"

case_ "no option grows a short inf file to eight bytes"
printf abc >abc
printf ab >abc.inf
lomvik abc
expect 0 ""
holds abc.inf '9e1659d2'

case_ "no option needs the inf file"
printf abc >abc
lomvik abc
expect 255 "$io_error"
absent abc.inf

for options in "-i" "-n -i"; do
  case_ "$options only re-seals"
  printf 'zzzz59d2\n' >abc.inf
  # shellcheck disable=SC2086
  lomvik $options abc
  expect 0 ""
  holds abc.inf $'f23e59d2\n'
  absent abc

  case_ "$options needs the inf file"
  printf abc >abc
  # shellcheck disable=SC2086
  lomvik $options abc
  expect 255 "$io_error"
  absent abc.inf
done

case_ "-i seals a four-byte inf file with 0000"
printf 'abcd' >x.inf
lomvik -i x
expect 0 ""
holds x.inf '0000'

case_ "a missing data file gives the usage message even when the inf file exists"
printf 'ABCD1234\n' >abc.inf
lomvik abc
expect 255 "$usage"
holds abc.inf $'ABCD1234\n'
lomvik -n abc
expect 255 "$usage"
holds abc.inf $'ABCD1234\n'

case_ "file names with spaces and directories"
mkdir "sub dir"
printf abc >"sub dir/a b"
lomvik -n "sub dir/a b"
expect 0 ""
holds "sub dir/a b.inf" $'f23e59d2\n'

case_ "a name in other scripts"
name='données-データ-данные.bin'
printf abc >"$name"
lomvik -n "$name"
expect 0 ""
holds "$name.inf" $'f23e59d2\n'

if windows; then
  case_ "backslash separators"
  mkdir "sub dir"
  printf abc >"sub dir/a b"
  lomvik -n 'sub dir\a b'
  expect 0 ""
  holds "sub dir/a b.inf" $'f23e59d2\n'
  lomvik -i -v '.\sub dir\a b'
  expect_result f23e

  case_ "wildcards stay as they are: the one file name is taken as given"
  printf abc >a.bin
  lomvik -v '*.bin'
  expect 255 "$usage"
fi

# --- failures that are never reported as success ---------------------------------------------

case_ "a directory is not a data file"
mkdir dir
lomvik -v dir
expect 255 "$usage"
lomvik -n dir
expect 255 "$usage"
absent dir.inf

case_ "an inf file that is a directory"
mkdir x.inf
lomvik -i x
expect 255 "$io_error"

case_ "a long data file name"
long=$(printf 'd%.0s' {1..200})
mkdir "$long"
printf abc >"$long/$long"
lomvik -n "$long/$long"
expect 0 ""
holds "$long/$long.inf" $'f23e59d2\n'

case_ "a name the system refuses fails at open"
refused=$(printf 'a%.0s' {1..300})
lomvik -v "$refused"
expect 255 "$usage"
lomvik -i "$refused"
expect 255 "$io_error"

# The inf file is never the data file, whatever links lead from one to the other (on Windows, a hard
# link).
links=("ln -s" "ln")
windows && links=("ln")
for link in "${links[@]}"; do
  for options in "-n" "" "-i" "-n -i"; do
    case_ "an inf file linked ($link) to the data file: ${options:-no option}"
    printf abc >abc
    $link abc abc.inf
    # shellcheck disable=SC2086
    lomvik $options abc
    expect 255 "$io_error"
    holds abc abc
  done
done

if ! windows; then
  case_ "an inf name the system refuses is an inf error"
  name=$(printf 'b%.0s' {1..252})
  printf abc >"$name"
  lomvik -n "$name"
  expect 255 "$io_error"

  case_ "a pipe is read to its end"
  # Fed by process substitution, not a pipeline: a check on the right of a pipe runs in a subshell
  # and its failure would not be counted.
  lomvik -v /dev/stdin < <(printf abc)
  expect_result 59d2
  lomvik -v /dev/stdin < <(head -c 300000 /dev/zero)
  expect_result 0000
  mkfifo fifo
  printf abc >fifo &
  lomvik -v fifo
  expect_result 59d2
  wait

  case_ "a file that holds fewer bytes than its size"
  short=/sys/kernel/mm/transparent_hugepage/enabled
  if [ -r "$short" ] && [ "$(wc -c <"$short")" -lt "$(stat -c %s "$short")" ]; then
    lomvik -v "$short"
    expect 255 "$usage"
    printf 'x' >data
    ln -s "$short" data.inf
    lomvik -i data
    expect 255 "$io_error"
  fi

  # An inf file must be a regular file: a device takes no CRC (/dev/null would "store" it, /dev/full
  # fails every write), and a FIFO is never waited for.
  for target in /dev/full /dev/null fifo; do
    for options in "-n" "" "-i" "-i -v"; do
      case_ "an inf file that is $target: ${options:-no option}"
      printf abc >abc
      if [ "$target" = fifo ]; then mkfifo abc.inf; else ln -s "$target" abc.inf; fi
      # shellcheck disable=SC2086
      lomvik_no_hang $options abc
      expect 255 "$io_error"
    done
  done

  case_ "files read to their end: a pseudo file and a character device"
  cat /proc/version >copy
  lomvik -v copy
  keep_output
  lomvik -v /proc/version
  expect 0 "$want"
  # A character device is read to its end, which /dev/zero never reaches: never "CRC = 0000".
  ln -s /dev/zero zero
  lomvik_no_hang -n zero
  [ "$status" = 124 ] || bad "a device read to its end: status $status, expected to be stopped"
  absent zero.inf

  if [ -z "${LOMVIK_CRC_KERNEL:-}" ]; then
    case_ "a data file that grows while it is read"
    head -c 200M /dev/zero >grows
    printf 'keep' >grows.inf
    (while :; do printf x >>grows; done) &
    writer=$!
    while [ "$(stat -c %s grows)" -le 209715200 ]; do sleep 0.01; done
    lomvik -v grows
    expect 255 "$usage"
    lomvik grows
    expect 255 "$usage"
    kill "$writer"
    wait "$writer" 2>/dev/null
    holds grows.inf keep

    if [ "$(uname -s)" = Linux ] && [ ${#runner[@]} = 0 ]; then
      # A write that began before the run opened the file moves neither its size nor its time
      # afterwards: a file that another program has open for writing is not read at all.
      case_ "a data file that another program has open for writing"
      printf abc >held
      printf 'keep' >held.inf
      exec 9>>held
      lomvik -v held
      expect 255 "$usage"
      lomvik held
      expect 255 "$usage"
      exec 9>&-
      holds held.inf keep
      lomvik -v held
      expect_result 59d2
    fi

    if [ "$(id -u)" = 0 ] && command -v losetup >/dev/null; then
      case_ "a block device is read to its end"
      head -c 1048576 /dev/urandom >image
      # Taken before the loop device holds the image open for writing.
      lomvik -v image
      keep_output
      if device=$(losetup -f --show image 2>/dev/null); then
        lomvik -v "$device"
        expect 0 "$want"
        losetup -d "$device"
      fi
    fi
  fi

  case_ "the result cannot be written"
  printf abc >abc
  "${runner[@]}" "$tool" -v abc >/dev/full 2>"$work/err"
  [ $? = 255 ] || bad "standard output on a full disk: status not 255"
  "${runner[@]}" "$tool" -v abc >&- 2>"$work/err"
  [ $? = 255 ] || bad "standard output closed: status not 255"

  if [ ${#runner[@]} = 0 ] && ! sanitized; then
    case_ "a closed standard output never lets a message into the inf file"
    printf abc >abc
    printf 'f23e59d2\n' >abc.inf
    # With three descriptors at most, the next file opened would take standard output's place.
    prlimit --nofile=3:3 "$tool" -n abc >&- 2>"$work/err"
    [ $? = 255 ] || bad "status not 255"
    holds abc.inf $'f23e59d2\n'

    case_ "a reader that went away, or the file size limit, is a failure, not a signal"
    printf abc >abc
    status=$(python3 -c 'import os, subprocess, sys
read_end, write_end = os.pipe()
os.close(read_end)
print(subprocess.run([sys.argv[1], "-v", "abc"], stdout=write_end).returncode)' "$tool")
    [ "$status" = 255 ] || bad "standard output on a pipe nobody reads: status $status"
    # The limit keeps the message out of the output file too: only the status tells.
    (ulimit -f 0 && exec "$tool" -n abc) >"$work/out" 2>"$work/err"
    [ $? = 255 ] || bad "beyond the file size limit: status not 255"
  fi

  if [ ${#runner[@]} = 0 ] && [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null && ! sanitized; then
    case_ "a large file is read all the same when no second thread can be had"
    chmod 755 "$work" "$work/case"
    head -c $((70 << 20)) /dev/zero >large
    printf abc >>large
    lomvik -v large
    keep_output
    setpriv --reuid=65534 --regid=65534 --clear-groups prlimit --nproc=1:1 \
      "$tool" -v large >"$work/out" 2>"$work/err"
    status=$?
    expect 0 "$want"
  fi

  case_ "files beyond 4 GiB are read to their last byte"
  truncate -s 5G big
  printf abc >>big
  lomvik -v big
  expect_result 59d2
  printf '0000' >big.inf
  truncate -s 5G big.inf
  printf abc >>big.inf
  lomvik -i -v big
  expect_result 59d2
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
