#!/bin/sh
# jxmachine's command line: --help and wrong arguments, a machine description it refuses, and the
# setup log of a real run printed as lines.
set -eu
jxmachine="$1"
jxsetup="$2"
sample="$3"
work="$4"
rm -rf "$work"
mkdir -p "$work/setup" "$work/machine"
export JX_MACHINE_ROOT="$work/machine"
fail() {
    echo "jxmachine cli: $*" >&2
    exit 1
}

# --help is the usage on stdout and no failure.
for help in "--help" "-h" "help" "log --help" "--root $work/machine --help"; do
    # shellcheck disable=SC2086 # the arguments are split on purpose
    "$jxmachine" $help >"$work/out" 2>"$work/err" || fail "'$help' failed"
    grep -q '^usage: jxmachine' "$work/out" || fail "'$help' printed no usage on stdout"
    [ ! -s "$work/err" ] || fail "'$help' wrote to stderr"
done

# A wrong command line is the usage on stderr and exit code 2; it changes nothing.
check_wrong() {
    code=0
    "$jxmachine" "$@" >"$work/out" 2>"$work/err" || code=$?
    [ "$code" -eq 2 ] || fail "'$*' ended with $code, not 2"
    grep -q '^usage: jxmachine' "$work/err" || fail "'$*' printed no usage on stderr"
    [ ! -s "$work/out" ] || fail "'$*' wrote to stdout"
}
check_wrong
check_wrong bogus
check_wrong screen extra

# A machine that showed no window has no picture of the screen: 1.
code=0
"$jxmachine" screen >"$work/out" 2>"$work/err" || code=$?
[ "$code" -eq 1 ] || fail "'screen' without a picture ended with $code, not 1"
check_wrong --root
check_wrong trace extra
check_wrong reg
check_wrong reg 'HKLM\Software' --view 48
check_wrong reg 'HKXX\Software'
check_wrong set 'HKLM\Software\JxCli' Number dword:12x
check_wrong set 'HKLM\Software\JxCli' Number dword:4294967296
check_wrong set 'HKLM\Software\JxCli' Number text
check_wrong log a b
check_wrong log --list --warnings
check_wrong log --everything
if "$jxmachine" reg 'HKLM\Software\JxCli' >/dev/null 2>&1; then fail "a refused 'set' made its key"; fi
"$jxmachine" set 'HKLM\Software\JxCli' Number dword:0x10 || fail "a good 'set' failed"
"$jxmachine" reg 'HKLM\Software\JxCli' | grep -q '"Number"=dword:00000010' || fail "the value was not written"

# A description with a key the stand-in does not know is refused by every process that reads it.
printf '{"user.elevated": false}\n' >"$work/machine/machine.json"
code=0
"$jxmachine" reg 'HKLM\Software' >/dev/null 2>"$work/err" || code=$?
[ "$code" -eq 1 ] || fail "jxmachine on a bad description ended with $code"
grep -q 'unknown key "user.elevated"' "$work/err" || fail "jxmachine did not name the key"
code=0
JX_EXIT_CODE_FILE="$work/exit-code" "$jxsetup" /_QuietInstallation=true >/dev/null 2>"$work/err" || code=$?
[ "$code" -eq 1 ] && [ "$(cat "$work/exit-code")" = 1 ] || fail "the engine on a bad description ended with $code"
grep -q 'unknown key "user.elevated"' "$work/err" || fail "the engine did not name the key"
grep -q 'unknown key "user.elevated"' "$work/machine/trace.log" || fail "the trace does not name the key"

# The log of a real run: the sample installed on a machine that trusts it.
cp "$sample" "$work/setup/setup.exe"
digest() { sha256sum "$1" | cut -d' ' -f1; }
cat >"$work/machine/machine.json" <<JSON
{"trustedFiles": [{"sha256": "$(digest "$work/setup/setup.exe")", "signer": "Tolvane Software GmbH"},
                  {"sha256": "$(digest "$jxsetup")", "signer": "Tolvane Software GmbH"}]}
JSON
code=0
"$jxmachine" log >/dev/null 2>"$work/err" || code=$?
[ "$code" -eq 1 ] && grep -q 'no setup log' "$work/err" || fail "a machine without logs printed one"
JX_EXIT_CODE_FILE="$work/exit-code" "$work/setup/setup.exe" /_QuietInstallation=true >/dev/null 2>&1 || true
[ "$(cat "$work/exit-code")" = 0 ] || fail "the sample did not install"
"$jxmachine" log --list >"$work/list"
[ "$(wc -l <"$work/list")" -ge 1 ] || fail "no log listed"
name=$(head -n 1 "$work/list")
case "$name" in *.log.zip) ;; *) fail "the newest log $name is not zipped" ;; esac
"$jxmachine" log >"$work/log"
"$jxmachine" log "${name%.zip}" | cmp -s - "$work/log" || fail "the named log differs from the newest"
# Every line: date, time, a level, the context and the text.
line='^[0-9]{2}\.[0-9]{2}\.[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} (ERROR|WARNING|HP_INFO|MP_INFO|LP_INFO|BEGIN|END|PROPERTY) '
grep -Evq "$line|^ " "$work/log" && fail "a line of the log is not an entry: $(grep -Ev "$line|^ " "$work/log" | head -n 1)"
grep -q 'BEGIN   JxSetup::Data::JxData::LoadConfiguration: ' "$work/log" || fail "the log lacks the configuration's BEGIN"
grep -q 'PROPERTY _PRODUCTID = {5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}' "$work/log" || fail "the log lacks a property"
"$jxmachine" log --warnings >"$work/warnings"
grep -q ' WARNING ' "$work/warnings" || fail "--warnings shows no warning"
grep -Evq '^[0-9. :]+ (ERROR|WARNING) |^ ' "$work/warnings" && fail "--warnings shows more than warnings and errors"
# A log left plain and cut by a run that ended early is read as far as it goes.
logs="$work/machine/drive_c/ProgramData/Tolvane/Setups/Logs"
unzip -p "$logs/$name" >"$work/plain.log"
head -c "$(($(wc -c <"$work/plain.log") / 2 + 1))" "$work/plain.log" >"$work/cut.log"
"$jxmachine" log "$work/cut.log" | grep -q 'BEGIN   JxSetup::Data::JxData::LoadConfiguration: ' ||
    fail "the cut log was not read"
echo "jxmachine cli: ok"
