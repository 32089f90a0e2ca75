#!/usr/bin/env bash
# Installs the sample product quietly on a fresh machine root, shows what the setup did, then
# removes it again with the maintenance copy and shows the machine clean.
set -euo pipefail
BUILD=$1
DEMO="$BUILD/demo"
# One demo at a time per build: a second one would empty the machine root of the first while its
# setup runs (machine.json read back as the default machine, which trusts no program).
exec 9>"$BUILD/demo.lock"
flock 9
rm -rf "$DEMO"
mkdir -p "$DEMO/setup" "$DEMO/machine"
export JX_MACHINE_ROOT="$DEMO/machine"
JXMACHINE="$BUILD/tools/jxmachine"
SETUP="$DEMO/setup/setup.exe"
cp "$BUILD/samples/setup.exe" "$SETUP"
PRODUCT='{5A3E9C21-4B7D-4F60-9A12-7C0E2D4B8F31}'
PROGRAM_DIR="$JX_MACHINE_ROOT/drive_c/Program Files (x86)/Tolvane/Quillmere Notes"
MAINT_DIR="$JX_MACHINE_ROOT/drive_c/ProgramData/Tolvane/Setups/$PRODUCT"

# An ELF program carries no signature: the machine trusts the setup and its maintenance copy (the
# bare program) by their digests, as it trusts a released setup by its maker's signature.
digest() { sha256sum "$1" | cut -d' ' -f1; }
# Written aside and renamed: a process of the machine never reads half a description.
cat >"$JX_MACHINE_ROOT/machine.json.new" <<JSON
{"trustedFiles": [
  {"sha256": "$(digest "$SETUP")", "signer": "Tolvane Software GmbH"},
  {"sha256": "$(digest "$BUILD/engine/program/jxsetup")", "signer": "Tolvane Software GmbH"}
]}
JSON
mv -f "$JX_MACHINE_ROOT/machine.json.new" "$JX_MACHINE_ROOT/machine.json"
# The machine's registration program of COM servers, in its 32-bit and 64-bit system folders.
for folder in SysWOW64 System32; do
    mkdir -p "$JX_MACHINE_ROOT/drive_c/Windows/$folder"
    cp "$BUILD/samples/regsvr32.exe" "$JX_MACHINE_ROOT/drive_c/Windows/$folder/regsvr32.exe"
done

show_machine() {
    echo "-- Installed tree"
    if [ -d "$PROGRAM_DIR" ]; then (cd "$PROGRAM_DIR" && find . | sort); else echo "(none)"; fi
    echo "-- Maintenance folder"
    if [ -d "$MAINT_DIR" ]; then (cd "$MAINT_DIR" && find . | sort); else echo "(none)"; fi
    echo "-- Registry: the product (32-bit view)"
    "$JXMACHINE" reg 'HKLM\Software\Tolvane\Quillmere Notes' --view 32 2>&1 || true
    echo "-- Registry: the product (64-bit view)"
    "$JXMACHINE" reg 'HKLM\Software\Tolvane\Quillmere Notes' --view 64 2>&1 || true
    echo "-- Registry: the uninstall entry"
    "$JXMACHINE" reg "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$PRODUCT" --view 32 2>&1 || true
    echo "-- Registry: the class of the COM server (32-bit view)"
    "$JXMACHINE" reg 'HKLM\Software\Classes\CLSID\{5A3E9C21-00C0-4000-8000-0000000000C1}' --view 32 2>&1 || true
    echo "-- Services"
    "$JXMACHINE" services
}

# The warnings and errors of each setup log that the last run wrote (the logs are zipped UTF-16 XML;
# `jxmachine log NAME` prints one as lines).
SHOWN_LOGS="$DEMO/shown-logs"
: >"$SHOWN_LOGS"
show_logs() {
    local name found=0
    while IFS= read -r name; do
        grep -qxF "$name" "$SHOWN_LOGS" && continue
        echo "$name" >>"$SHOWN_LOGS"
        found=1
        echo "-- Warnings and errors of the log $name"
        "$JXMACHINE" log "$name" --warnings | grep . || echo "(none)"
        echo "   (the whole log: $JXMACHINE --root $JX_MACHINE_ROOT log $name)"
    done < <("$JXMACHINE" log --list | tac)
    [ "$found" = 1 ] || echo "-- No setup log was written"
}

run_setup() { # program, arguments...
    local program=$1
    shift
    export JX_EXIT_CODE_FILE="$DEMO/exit-code"
    : >"$JX_EXIT_CODE_FILE"
    local status=0
    "$program" "$@" || status=$?
    # The engine writes its Windows exit code into the file; a program that was killed wrote
    # nothing, and then its host status (128 + the signal) says how it ended.
    local code
    code=$(cat "$JX_EXIT_CODE_FILE")
    echo "Exit code: ${code:-$status (ended without writing its exit code)}"
}

# Developer traces of the engine are on for the demo.
"$JXMACHINE" set 'HKLM\Software\Tolvane\JxSetupEngine' DebugLevel dword:5

echo "== Installing the sample quietly: setup.exe /_QuietInstallation=true"
echo "   machine root: $JX_MACHINE_ROOT"
run_setup "$SETUP" /_QuietInstallation=true
show_machine
show_logs
echo "-- Parts of the engine that are not built yet"
grep -a 'is not built yet' "$JX_MACHINE_ROOT/trace.log" | sed 's/^([0-9:]*)//' | sort -u || echo "(none)"
echo "-- Message boxes"
"$JXMACHINE" msgbox

echo
echo "== Uninstalling with the maintenance copy: setup.exe /InstallMode=Uninstall /_QuietInstallation=true"
if [ -f "$MAINT_DIR/setup.exe" ]; then
    : >"$JX_MACHINE_ROOT/trace.log"
    chmod u+x "$MAINT_DIR/setup.exe" # a stored file has no execute bit on the host
    run_setup "$MAINT_DIR/setup.exe" /InstallMode=Uninstall /_QuietInstallation=true
    show_machine
    show_logs
    echo "-- Parts of the engine that are not built yet"
    grep -a 'is not built yet' "$JX_MACHINE_ROOT/trace.log" | sed 's/^([0-9:]*)//' | sort -u || echo "(none)"
else
    echo "No maintenance copy was stored: nothing to uninstall with."
fi

echo
echo "== Installing the sample with pages: setup.exe (the scripted GUI module answers the pages)"
: >"$JX_MACHINE_ROOT/trace.log"
rm -f "$JX_MACHINE_ROOT/gui-journal.txt"
cat >"$JX_MACHINE_ROOT/gui-script.txt" <<'SCRIPT'
# The licence page is accepted; every other page is answered "next".
page Licence next set LICENSEACCEPTED=1
SCRIPT
# The machine names the page script (machine.json "guiScript").
sed -i 's/^{"trustedFiles"/{"guiScript": "gui-script.txt", "trustedFiles"/' "$JX_MACHINE_ROOT/machine.json"
run_setup "$SETUP"
echo "-- Pages and steps the GUI module was asked for"
if [ -f "$JX_MACHINE_ROOT/gui-journal.txt" ]; then
    grep -E '^(page |set |cancel |end |ShowInstallProgressPage|SetProgressRange |SetProgress -?[0-9]|MessageBox |Finish )' \
        "$JX_MACHINE_ROOT/gui-journal.txt" | awk '
        /^SetProgressRange / { if ($0 == range) next; range = $0 }
        /^SetProgress -?[0-9]/ { text = $0; sub(/^SetProgress -?[0-9]+ ?/, "", text); if (text == shown) next; shown = text }
        /^page / { print "  page:      " substr($0, 6); next }
        /^set / { print "  typed:     " substr($0, 5); next }
        { print "  " $0 }'
else
    echo "(no journal: the GUI module was not loaded)"
fi
echo "-- The start dialog as the user saw it (image and shadow, recorded by the stand-in)"
"$JXMACHINE" screen || true
show_machine
show_logs
echo "-- Parts of the engine that are not built yet"
grep -a 'is not built yet' "$JX_MACHINE_ROOT/trace.log" | sed 's/^([0-9:]*)//' | sort -u || echo "(none)"
