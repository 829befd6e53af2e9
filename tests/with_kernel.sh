#!/usr/bin/env bash
# Runs a test with one CRC kernel forced, or skips it when this CPU cannot run that kernel.
#
#   with_kernel.sh NAME PROBE [RUNNER...] -- COMMAND...
#
# PROBE is lomvik_kernel_probe, started through RUNNER when given (qemu-aarch64, wine). Exits 77
# (ctest's SKIP_RETURN_CODE) when the kernel is unusable here, and fails when LOMVIK_CRC_KERNEL=NAME
# selects any other kernel; otherwise runs COMMAND with LOMVIK_CRC_KERNEL=NAME and exits with its
# status.
set -u

name=$1
probe=$2
shift 2
runner=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
  runner+=("$1")
  shift
done
shift # --

export LOMVIK_CRC_KERNEL=$name
selected=$("${runner[@]}" "$probe" "$name")
status=$?
if [ $status = 77 ]; then
  echo "skipped: this CPU cannot run the $name kernel"
  exit 77
fi
selected=${selected%$'\r'}
if [ $status != 0 ] || [ "$selected" != "$name" ]; then
  echo "LOMVIK_CRC_KERNEL=$name selected '$selected' (probe status $status)" >&2
  exit 1
fi
"$@"
