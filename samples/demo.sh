#!/usr/bin/env bash
# Runs the engine's main job against a fresh machine root and shows what it did.
set -euo pipefail
BUILD=$1
DEMO="$BUILD/demo"
rm -rf "$DEMO"
mkdir -p "$DEMO/setup"
export JX_MACHINE_ROOT="$DEMO/machine"
JXMACHINE="$BUILD/tools/jxmachine"
cp "$BUILD/engine/program/jxsetup" "$DEMO/setup/setup.exe"

# Developer traces of the engine are on for the demo.
"$JXMACHINE" set 'HKLM\Software\Tolvane\JxSetupEngine' DebugLevel dword:5

echo "== Running setup.exe on the machine root $JX_MACHINE_ROOT"
export JX_EXIT_CODE_FILE="$DEMO/exit-code"
"$DEMO/setup/setup.exe" /_QuietInstallation=true || true
echo "Exit code: $(cat "$JX_EXIT_CODE_FILE")"
echo
echo "== Message boxes"
"$JXMACHINE" msgbox
echo "== Trace"
"$JXMACHINE" trace
