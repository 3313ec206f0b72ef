#!/usr/bin/env bash
# Seeded-fault check of the test suite. Applies the faults listed in
# bench/mutations.txt to the working tree one at a time, rebuilds
# incrementally, runs the suite (the quick tests first, stopping at the first
# failure, the slow ones only when they pass), restores the file (also when
# interrupted), and prints one line per fault: the tests that failed, or
# NOT CAUGHT. Ends with the share of caught faults among those not marked
# equivalent; the exit status is 1 when a fault went uncaught or the list
# needs fixing.
#
# Usage: bench/mutation_check.sh [--list-only] [PATTERN...]
#   PATTERN      only the faults whose list line contains one of the
#                patterns (a file such as src/cells/, a word of the description)
#   --list-only  check that every fault applies (its text occurs exactly
#                once) without building anything
# Builds in build-mutation (Release) and, for faults tagged "sanitizer",
# build-mutation-asan (AddressSanitizer); a full first build takes minutes.
# Environment: MUTATION_TEST_LIMIT and MUTATION_SUITE_LIMIT, seconds for one
# test (default 120) and for the whole suite (default 600), three times that
# in the sanitizer build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

list=bench/mutations.txt
listOnly=0
patterns=()
for word in "$@"; do
  case $word in
    --list-only) listOnly=1 ;;
    -h | --help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) patterns+=("$word") ;;
  esac
done

# Whether the list line is selected by the patterns (all lines without any).
selected() {
  local p
  if [ ${#patterns[@]} -eq 0 ]; then return 0; fi
  for p in "${patterns[@]}"; do
    if [[ $1 == *"$p"* ]]; then return 0; fi
  done
  return 1
}
testLimit=${MUTATION_TEST_LIMIT:-120}
suiteLimit=${MUTATION_SUITE_LIMIT:-600}
jobs=$(nproc)

# ---- the list: file @@ original @@ replacement @@ description [@@ tag]
files=() originals=() replacements=() descriptions=() tags=() lineNumbers=()
number=0
while IFS= read -r line || [ -n "$line" ]; do
  number=$((number + 1))
  case $line in '' | '#'*) continue ;; esac
  if ! selected "$line"; then continue; fi
  IFS=$'\x1f' read -r f o r d t <<<"${line// @@ /$'\x1f'}"
  files+=("$f") originals+=("$o") replacements+=("$r") descriptions+=("$d") tags+=("${t:-}")
  lineNumbers+=("$number")
done <"$list"
count=${#files[@]}
if [ "$count" -eq 0 ]; then
  echo "no fault in $list matches ${patterns[*]}" >&2
  exit 1
fi

# ---- applying and restoring one fault
backup=$(mktemp -d)
applied=""
restore() {
  if [ -n "$applied" ]; then
    cp "$backup/original" "$applied"  # a fresh time stamp: the next build recompiles it
    applied=""
  fi
}
cleanup() {
  restore
  rm -rf "$backup"
}
trap cleanup EXIT
trap 'echo; echo "interrupted; the file is restored" >&2; exit 130' INT TERM

# Prints how often the original text occurs in the file.
occurrences() {
  local text rest
  text=$(cat "$1"; printf x)
  text=${text%x}
  rest=${text//"$2"/}
  echo $(((${#text} - ${#rest}) / ${#2}))
}

apply() {
  local file=$1 original=$2 replacement=$3 text
  text=$(cat "$file"; printf x)
  text=${text%x}
  cp "$file" "$backup/original"
  applied=$file
  printf '%s' "${text/"$original"/"$replacement"}" >"$file"
}

problems=0
for ((i = 0; i < count; i++)); do
  where="$list:${lineNumbers[i]}"
  if [ ! -f "${files[i]}" ]; then
    echo "$where: no file ${files[i]}" >&2
    problems=$((problems + 1))
  elif [ -z "${originals[i]}" ] || [ "$(occurrences "${files[i]}" "${originals[i]}")" != 1 ]; then
    echo "$where: the original text does not occur exactly once in ${files[i]}" >&2
    problems=$((problems + 1))
  fi
done
if [ "$problems" -gt 0 ]; then exit 1; fi
if [ "$listOnly" -eq 1 ]; then
  echo "$count faults apply"
  exit 0
fi

# ---- builds and the suite
configure() {
  local dir=$1
  shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  fi
}

# The tests that take tens of seconds each; they run only when the others
# pass, so that most faults cost a minute, not the whole suite.
slowTests='^(Report\.|Workflow\.|LargeFrame\.FourThousand|Process\.Killed)'

# Runs ctest in the build folder with the given selection; its log goes to
# the build folder. A fault that makes tests hang costs each of them the test
# time limit, so the whole run is stopped after the suite limit; timeout
# signals its whole process group, the tests ctest started included.
runSuite() {
  local dir=$1 scale=$2 status=0
  shift 2
  # A temporary folder of its own: other worktrees' suites may be running
  # the same tests, with the same folder names, at the same time.
  rm -rf "$backup/tmp"
  mkdir "$backup/tmp"
  TMPDIR="$backup/tmp" TEST_TMPDIR="$backup/tmp/" ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    timeout -k 10 "$((suiteLimit * scale))" \
    ctest --test-dir "$dir" -j"$jobs" --timeout "$((testLimit * scale))" "$@" >>"$dir/mutation_ctest.log" 2>&1 ||
    status=$?
  return "$status"
}

# Runs the suite, the quick tests first (stopping at the first failure) and
# the slow ones only when the quick ones pass; prints the failed tests, one
# per line.
failedTests() {
  local dir=$1 scale=1 status=0 failed
  if [ "$dir" = build-mutation-asan ]; then scale=3; fi
  : >"$dir/mutation_ctest.log"
  runSuite "$dir" "$scale" -E "$slowTests" --stop-on-failure || status=$?
  if [ "$status" -eq 0 ]; then runSuite "$dir" "$scale" -R "$slowTests" || status=$?; fi
  # Result lines read "  7/203 Test  #36: Suite.Name ....***Failed  0.1 sec".
  failed=$(sed -nE 's/^ *[0-9]+\/[0-9]+ +Test +#[0-9]+: ([^ ]+) .*\*\*\*.*/\1/p' "$dir/mutation_ctest.log")
  if [ -n "$failed" ]; then echo "$failed"; fi
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "(suite stopped after $((suiteLimit * scale)) s)"
  elif [ "$status" -ne 0 ] && [ -z "$failed" ]; then
    echo "(ctest failed; see $dir/mutation_ctest.log)"
  fi
}

needsSanitizer=0
for t in "${tags[@]}"; do
  if [ "$t" = sanitizer ]; then needsSanitizer=1; fi
done
dirs=(build-mutation)
configure build-mutation -DCMAKE_BUILD_TYPE=Release
if [ "$needsSanitizer" -eq 1 ]; then
  dirs+=(build-mutation-asan)
  configure build-mutation-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOCUSTRACK_SANITIZE=ON
fi
for dir in "${dirs[@]}"; do
  echo "building and testing the unchanged tree in $dir ..."
  cmake --build "$dir" -j"$jobs" >"$dir/mutation_build.log" 2>&1 || {
    echo "the unchanged tree does not build; see $dir/mutation_build.log" >&2
    exit 1
  }
  failed=$(failedTests "$dir")
  if [ -n "$failed" ]; then
    echo "the unchanged tree fails tests in $dir:" >&2
    echo "$failed" >&2
    exit 1
  fi
done

# ---- one fault at a time
caught=0 counted=0 equivalent=0 missed=0
started=$(date +%s)
for ((i = 0; i < count; i++)); do
  file=${files[i]} tag=${tags[i]}
  dir=build-mutation
  if [ "$tag" = sanitizer ]; then dir=build-mutation-asan; fi
  label=$(printf '%2d %s: %s' "$((i + 1))" "$file" "${descriptions[i]}")
  apply "$file" "${originals[i]}" "${replacements[i]}"
  if ! cmake --build "$dir" -j"$jobs" >"$dir/mutation_build.log" 2>&1; then
    restore
    echo "$label -> DOES NOT BUILD (fix the list; $dir/mutation_build.log)"
    problems=$((problems + 1))
    continue
  fi
  failed=$(failedTests "$dir")
  restore
  # The first three failed tests and how many more.
  names=$(printf '%s\n' "$failed" | awk 'NF { n++; if (n <= 3) s = s (n > 1 ? ", " : "") $0 }
    END { printf "%s", s; if (n > 3) printf " (+%d)", n - 3 }')
  case $tag in
    equivalent*)
      equivalent=$((equivalent + 1))
      if [ -n "$failed" ]; then
        echo "$label -> caught by $names, but listed as equivalent (fix the list)"
        problems=$((problems + 1))
      else
        echo "$label -> not caught, equivalent (${tag#equivalent: })"
      fi
      continue
      ;;
  esac
  counted=$((counted + 1))
  if [ "$tag" = sanitizer ]; then names="$names [sanitizer build]"; fi
  if [ -n "$failed" ]; then
    caught=$((caught + 1))
    echo "$label -> caught by $names"
  else
    missed=$((missed + 1))
    echo "$label -> NOT CAUGHT"
  fi
done

echo
echo "caught $caught of $counted faults ($((counted > 0 ? 100 * caught / counted : 0)) %);" \
  "$equivalent equivalent, not counted; $(($(date +%s) - started)) s"
if [ "$missed" -gt 0 ] || [ "$problems" -gt 0 ]; then exit 1; fi
