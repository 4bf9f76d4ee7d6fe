#!/usr/bin/env bash
# The command-line surface: ktu's option and output errors, its readable
# sizes, and the scripts' refusal of bad arguments (before they build anything).
#   cli_test.sh <ktu program> <source tree>
set -uo pipefail
ktu=$1
tree=$2
failures=0
passes=0

# expect NAME CODE PATTERN COMMAND...: COMMAND exits with CODE and its output
# (both streams) matches the extended regular expression PATTERN.
expect() {
  local name=$1 code=$2 pattern=$3
  shift 3
  local out status
  out=$("$@" 2>&1)
  status=$?
  if [ "$status" -ne "$code" ] || ! grep -Eq -- "$pattern" <<<"$out"; then
    echo "FAILED: $name (exit $status, wanted $code; output below)"
    echo "$out" | head -20
    failures=$((failures + 1))
  else
    echo "ok: $name"
    passes=$((passes + 1))
  fi
}

expect "unknown option" 2 "unknown option '--bogus'" "$ktu" --bogus
expect "unknown command" 2 "unknown command 'bogus'" "$ktu" bogus
expect "--version takes no arguments" 2 "takes no arguments" "$ktu" --version extra
expect "--version" 0 '^ktu [0-9]+\.[0-9]+\.[0-9]+$' "$ktu" --version
expect "write error" 1 "error writing the output" sh -c "'$ktu' info > /dev/full"
expect "sizes in units, addresses in hex" 0 'region size 64\.0 KiB.*' "$ktu" info
expect "address with 0x" 0 'largest free address space .* at 0x[0-9a-f]+' "$ktu" info
expect "physical memory and its source" 0 \
  'physical memory [0-9]+ MiB from (machine|cgroup memory\.(max|high|limit_in_bytes)) \(machine [0-9]+ MiB\)' \
  "$ktu" info
expect "process limit and its source" 0 \
  'limits: physical [0-9]+ MiB, address space [0-9]+ MiB, process [0-9]+ MiB from (physical memory limit|address-space limit)' \
  "$ktu" info
expect "alloc limit follows the process zone" 0 'alloc limit [0-9]+ MiB from process zone' "$ktu" info
expect "memory in use" 0 'in use: private memory [0-9.]+ [KMG]iB, allocated [0-9.]+ ' "$ktu" info
# Every component reports the same version.
versions=$("$ktu" info | sed -n 's/.*init count [0-9]*  [^ ]* \([0-9.]*\)$/\1/p' | sort -u)
if [ "$(wc -l <<<"$versions")" -eq 1 ] && [ -n "$versions" ]; then
  echo "ok: one version for every component ($versions)"
  passes=$((passes + 1))
else
  echo "FAILED: components report versions: $versions"
  failures=$((failures + 1))
fi

# Streams: the dump shows tokens; convert round-trips a checked-in file.
corpus="$tree/tests/data/stream"
expect "stream needs a subcommand" 2 "usage: ktu stream dump" "$ktu" stream
expect "stream dump of a missing file" 1 "cannot open" "$ktu" stream dump /nonexistent
expect "stream dump of a non-stream" 1 "does not start with a stream header" "$ktu" stream dump /etc/hostname
expect "stream dump shows tokens" 0 "DEF 100 0" "$ktu" stream dump "$corpus/graph-binary-debug.ktu"
expect "stream dump reads standard input" 0 "header: #KtUStream-V1.1 ascii" \
  sh -c "'$ktu' stream dump - < '$corpus/values-text-debug.ktu'"
scratch=$(mktemp -d)
if "$ktu" stream convert "$corpus/values-binary-debug-single.ktu" "$scratch/t" &&
   "$ktu" stream convert "$scratch/t" "$scratch/b" &&
   cmp -s "$scratch/b" "$corpus/values-binary-debug-single.ktu"; then
  echo "ok: stream convert to text and back gives the same bytes"
  passes=$((passes + 1))
else
  echo "FAILED: stream convert round trip"
  failures=$((failures + 1))
fi
rm -rf "$scratch"

# Settings: a value set through one spelling of the key reads through another.
scratch=$(mktemp -d)
hive="$scratch/user.hive"
expect "reg set" 0 "" "$ktu" reg --hive "$hive" set 'Software\Acme\View' Size dword 12
expect "reg get ignores case" 0 "^dword 12$" "$ktu" reg --hive "$hive" get 'software\ACME\view' SIZE
expect "reg set a string" 0 "" "$ktu" reg --hive "$hive" set 'Software\Acme' Title sz $'Gr\xc3\xb6\xc3\x9fe'
expect "reg list shows subkeys" 0 '^View\\$' "$ktu" reg --hive "$hive" list 'Software\Acme'
expect "reg get of a missing value" 1 "no value 'Width'" "$ktu" reg --hive "$hive" get 'Software\Acme\View' Width
expect "reg set refuses a bad number" 2 "is not a dword" "$ktu" reg --hive "$hive" set A b dword 1x
expect "reg list shows values" 0 $'^Title = sz Gr\xc3\xb6\xc3\x9fe$' "$ktu" reg --hive "$hive" list 'Software\Acme'
expect "reg delete" 0 "" "$ktu" reg --hive "$hive" delete 'Software\Acme'
expect "reg list after delete" 1 "no key" "$ktu" reg --hive "$hive" list 'Software\Acme'
rm -rf "$scratch"

expect "scripts/fuzz rejects a non-number" 2 "SECONDS must be a whole number" "$tree/scripts/fuzz" abc
expect "scripts/test rejects a stray word" 2 "neither a ctest option" "$tree/scripts/test" nosuch
expect "scripts/test-sanitizers rejects a kind" 2 "unknown sanitizer" "$tree/scripts/test-sanitizers" memory
expect "scripts/bench-text takes no arguments" 2 "unexpected argument" "$tree/scripts/bench-text" x
expect "scripts/bench-registry takes no arguments" 2 "unexpected argument" "$tree/scripts/bench-registry" x
expect "scripts/ktu needs a command" 2 "no command given" "$tree/scripts/ktu"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
