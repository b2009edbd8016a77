#!/usr/bin/env bash
# Builds the example S-function and a second one generated from the same model as MEX
# files with GNU Octave's mkoctfile, and runs crankmod_checks.m in Octave. Exits 77
# (skipped) where mkoctfile or Octave is missing.
#   run_octave_checks.sh GENERATOR FIXTURES WORK_DIRECTORY
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
generator=$1
fixtures=$2
work=$3

if ! command -v mkoctfile >/dev/null 2>&1 || ! command -v octave-cli >/dev/null 2>&1; then
  echo "skipped: GNU Octave (mkoctfile, octave-cli) is not installed"
  exit 77
fi

rm -rf "$work"
mkdir -p "$work/moon"
"$generator" -experiment "$fixtures/crankmoon" -submodel crank -function crankmoon -sfunction \
  "$fixtures/crankrg1.e" "$work/moon" >/dev/null

# mkoctfile defines no MATLAB_MEX_FILE of its own
export CFLAGS="$(mkoctfile -p CFLAGS) -Wall -Werror"
mkoctfile --mex -DMATLAB_MEX_FILE -I"$here" -o "$work/crankmod.mex" "$here/crankmod.c"
mkoctfile --mex -DMATLAB_MEX_FILE -I"$here" -o "$work/crankmoon.mex" "$work/moon/crankmoon.c"

# Octave may complain on standard error while it exits even when all went well: the
# exit status and the closing line decide.
cd "$work"
status=0
octave-cli --norc --quiet --no-history --no-window-system \
  --eval "addpath ('$work'); source ('$here/tests/crankmod_checks.m');" >output.txt 2>errors.txt || status=$?
cat output.txt
if [ "$status" -ne 0 ] || ! grep -q '^crankmod: all checks passed$' output.txt; then
  cat errors.txt >&2
  echo "crankmod checks failed (exit status $status)" >&2
  exit 1
fi
