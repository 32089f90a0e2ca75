#!/bin/sh
# jxpack's command line: a folder goes through make, list, verify and extract unchanged, and the
# package appended to a program is found there again.
set -eu
jxpack="$1"
work="$2"
rm -rf "$work"
mkdir -p "$work/in/sub/deeper" "$work/in/empty"
export JX_MACHINE_ROOT="$work/machine"
printf 'hello' > "$work/in/a.txt"
: > "$work/in/empty.bin"
head -c 70000 /dev/urandom > "$work/in/sub/random.bin"
printf 'MZ not really a program' > "$work/in/sub/deeper/tool.exe"

"$jxpack" make "$work/config.wpk" "$work/in" --root '$CONFIG' --block-size 16384 \
    --file-version sub/deeper/tool.exe=1.2.3.4
"$jxpack" list "$work/config.wpk" > "$work/list.txt"
grep -q 'package \$CONFIG' "$work/list.txt"
grep -q 'sub\\deeper\\tool.exe  version 1.2.3.4' "$work/list.txt"
"$jxpack" verify "$work/config.wpk" > "$work/verify.txt"
grep -q 'verify: ok' "$work/verify.txt"
"$jxpack" extract "$work/config.wpk" "$work/out"
diff -r "$work/in" "$work/out/\$CONFIG"

# Appended to a copy of the tool itself (an ELF program), the package is found after its image.
cp "$jxpack" "$work/setup.exe"
"$jxpack" append "$work/setup.exe" "$work/config.wpk"
"$jxpack" extract "$work/setup.exe" "$work/out2"
diff -r "$work/in" "$work/out2/\$CONFIG"

# A damaged package fails verification.
cp "$work/config.wpk" "$work/bad.wpk"
size=$(wc -c < "$work/bad.wpk")
printf '\377\377\377\377' | dd of="$work/bad.wpk" bs=1 seek=$((size - 100)) conv=notrunc 2>/dev/null
if "$jxpack" verify "$work/bad.wpk" > "$work/bad.txt"; then
    echo "a damaged package passed verification" >&2
    exit 1
fi
grep -q '^90000001-00000005' "$work/bad.txt"
# A setup cut inside its last package fails verification too.
head -c $(($(wc -c < "$work/setup.exe") - 30)) "$work/setup.exe" > "$work/cut.exe"
if "$jxpack" verify "$work/cut.exe" > "$work/cut.txt"; then
    echo "a setup cut inside its last package passed verification" >&2
    exit 1
fi
grep -q 'verify: FAILED' "$work/cut.txt"
# --help is the usage on stdout and no failure; a wrong command line is the usage on stderr and
# exit code 2.
for help in "--help" "-h" "make --help"; do
    # shellcheck disable=SC2086 # the arguments are split on purpose
    "$jxpack" $help > "$work/help.out" 2> "$work/help.err"
    grep -q '^usage:' "$work/help.out"
    [ ! -s "$work/help.err" ]
done
check_wrong() {
    code=0
    "$jxpack" "$@" > "$work/wrong.out" 2> "$work/wrong.err" || code=$?
    if [ "$code" -ne 2 ] || ! grep -q '^usage:' "$work/wrong.err" || [ -s "$work/wrong.out" ]; then
        echo "jxpack $*: exit code $code, not the usage on stderr with 2" >&2
        exit 1
    fi
}
check_wrong
check_wrong frobnicate
check_wrong list
check_wrong make "$work/x.wpk" "$work/in" --block-size 12x
check_wrong make "$work/x.wpk" "$work/in" --bogus
check_wrong verify "$work/config.wpk" -v many
[ ! -e "$work/x.wpk" ]
echo "jxpack cli: ok"
