#!/usr/bin/env bash
# Each command a person runs first on a fresh machine (scripts/run.sh, test.sh, test-clang.sh,
# bench.sh, fuzz.sh) must run the set-up before anything that needs what it installs. Each entry
# script runs in a copy of scripts/ whose setup.sh, build.sh and wine-run.sh only record
# that they were called, with a PATH lacking the display server, Wine, the compilers and the
# package tools, so nothing is installed or built. Set-up must be the first thing recorded.
# A fixture script in the wrong order must be rejected, so the check itself can fail.
#   entry_order_test.sh RESULT_XML
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
xml=${1:?usage: entry_order_test.sh RESULT_XML}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A PATH of everything on this one except what the set-up provides.
shadow="$work/bin"
mkdir -p "$shadow"
blocked='^(Xvfb|xvfb-run|wine|wine64|wineserver|wineboot|cmake|ctest|clang|clang\+\+|g\+\+|gcc|make|ccache|apt-get|apt|dpkg|dpkg-query|sudo|.*-w64-mingw32-.*)$'
IFS=: read -r -a dirs <<<"$PATH"
for d in "${dirs[@]}"; do
  [ -d "$d" ] || continue
  for f in "$d"/*; do
    name=${f##*/}
    [ -x "$f" ] && [ ! -d "$f" ] || continue
    [[ "$name" =~ $blocked ]] && continue
    [ -e "$shadow/$name" ] || ln -s "$f" "$shadow/$name"
  done
done

# run_entry SCRIPT: runs SCRIPT as scripts/<its name> of a fresh tree; prints the calls
# recorded, one a line.
run_entry() {
  local script=$1 tree log
  tree=$(mktemp -d "$work/tree.XXXX")
  log="$tree/calls.log"
  mkdir -p "$tree/scripts"
  cp "$root"/scripts/*.sh "$tree/scripts/"
  cp "$script" "$tree/scripts/"
  local stub
  for stub in setup build wine-run; do
    printf '#!/usr/bin/env bash\necho %s >>"$FPC_ORDER_LOG"\n' "$stub" >"$tree/scripts/$stub.sh"
  done
  # Anything after the set-up stops here: nothing is built or run.
  echo 'exit 3' >>"$tree/scripts/build.sh"
  echo 'exit 3' >>"$tree/scripts/wine-run.sh"
  chmod +x "$tree"/scripts/*.sh
  : >"$log"
  (cd "$tree" && env -i HOME="$tree" PATH="$shadow" FPC_ORDER_LOG="$log" \
     timeout 60 bash "scripts/$(basename "$script")" >"$tree/out.log" 2>&1 </dev/null)
  cat "$log"
}

cases=0 failures=0 body=""
# expect NAME SCRIPT WANT: WANT is "first" (set-up recorded first) or "late" (not first).
expect() {
  local name=$1 script=$2 want=$3 calls first outcome=pass message=""
  calls=$(run_entry "$script")
  first=$(head -n 1 <<<"$calls")
  if [ "$want" = first ] && [ "$first" != setup ]; then
    outcome=fail message="set-up is not the first step; calls: ${calls:-none}"
  elif [ "$want" = late ] && [ "$first" = setup ]; then
    outcome=fail message="a script that needs the display before set-up was not caught"
  fi
  cases=$((cases + 1))
  body+="    <testcase name=\"$name\" classname=\"EntryScriptOrder\""
  if [ "$outcome" = pass ]; then
    body+=" />"$'\n'
    echo "[ OK ] $name"
  else
    failures=$((failures + 1))
    body+=">"$'\n'"      <failure message=\"$message\" />"$'\n'"    </testcase>"$'\n'
    echo "[FAIL] $name: $message"
  fi
}

for entry in run test test-clang bench fuzz; do
  expect "SetUpFirst_$entry" "$root/scripts/$entry.sh" first
done
expect "WrongOrderIsCaught" "$here/fixtures/late-setup.sh" late

mkdir -p "$(dirname "$xml")"
{
  echo '<?xml version="1.0" encoding="UTF-8"?>'
  echo "<testsuites tests=\"$cases\" failures=\"$failures\">"
  echo "  <testsuite name=\"EntryScriptOrder\" tests=\"$cases\" failures=\"$failures\">"
  printf '%s' "$body"
  echo "  </testsuite>"
  echo "</testsuites>"
} >"$xml"
echo "$cases cases, $failures failed"
[ "$failures" -eq 0 ]
