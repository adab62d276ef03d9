#!/usr/bin/env bash
# The release artefacts of scripts/package.sh end to end, installed as a user installs them.
#
#   tests/e2e/package_e2e.sh DIST_DIR
#
# deb  (root only): apt-get installs dist/valumat_*.deb; a user created for the test starts /usr/bin/valumat under
#      Xvfb: the first start fills ~/.config/valumat with the shipped files, Ctrl+D converts "100" in Mousepad to
#      "195,58", ticking autostart and "Übernehmen" write ~/.config/valumat/options.dat and an autostart entry with
#      Exec=/usr/bin/valumat; apt-get remove takes the program and leaves the user's folder. The user and the
#      package are gone afterwards.
# wine: valumat-*-setup.exe /S in a fresh 64-bit Wine prefix: it installs the 64-bit program; program, defaults,
#      Start-menu entry and uninstall key in place; the installed program keeps its data in %APPDATA%\Valumat and
#      converts in notepad; a second start keeps the user's options (autostart on: the Run value names the installed
#      program); the silent uninstaller ends the running program and removes program, Start-menu entry, Run value and
#      uninstall key, and leaves %APPDATA%\Valumat. The installer is a 32-bit program: where Wine's 32-bit loader
#      cannot run, the same installer built as a 64-bit program (build/package/valumat-*-setup-amd64.exe from
#      scripts/package.sh) stands in for it under the 64-bit loader. Where the 32-bit loader runs, the installer
#      also installs the 32-bit program in a 32-bit prefix.
# zip: each unpacked zip (-win32, -win64) under the loader that can run it: portable: the working copies appear
#      beside the program, %APPDATA%\Valumat is not made, valumat-convert.exe --list names the program's folder.
#
# PACKAGE_E2E_PARTS picks parts (default "deb wine zip"); a part whose tools are missing is skipped and says so,
# and so is a Windows artefact that no Wine loader can run here, except with CI=true, where a part that ran under
# no loader at all fails. With VALUMAT_WINE_RECORD set, each Windows artefact's loader and outcome go to that file.
set -euo pipefail

dist=$(cd "${1:?usage: package_e2e.sh DIST_DIR}" && pwd)
parts=${PACKAGE_E2E_PARTS:-deb wine zip}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"
# shellcheck source=tests/e2e/wine.sh
source "$here/wine.sh"
need_tools Xvfb openbox xdotool xclip xprop dbus-launch python3
deb=$(ls "$dist"/valumat_*_amd64.deb 2>/dev/null | head -1)
setup=$(ls "$dist"/valumat-*-setup.exe 2>/dev/null | head -1)
zips=$(ls "$dist"/valumat-*-win32.zip "$dist"/valumat-*-win64.zip 2>/dev/null || true)
setup64=$(ls "$here"/../../build/package/valumat-*-setup-amd64.exe 2>/dev/null | head -1)

work=$(mktemp -d)
chmod 755 "$work"
pids=()
user=valumat-pkg$$ # a user of this run's own: another one of that name is never touched
installed_deb=""
made_user=""
cleanup() {
    for prefix in "$work/prefix" "$work/prefix32"; do
        [[ -d $prefix ]] && WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    [[ -n ${DBUS_SESSION_BUS_PID:-} ]] && kill "$DBUS_SESSION_BUS_PID" 2>/dev/null || true
    wait 2>/dev/null || true
    if [[ -n $installed_deb ]] && dpkg-query -W -f='${Status}' valumat 2>/dev/null | grep -q "ok installed"; then
        DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq valumat >/dev/null 2>&1 || true
    fi
    [[ -n $made_user ]] && userdel -r -f "$user" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    [[ -n ${DISPLAY:-} ]] && import -window root "${E2E_FAILURE_SHOT:-/tmp/valumat-package-failure.png}" 2>/dev/null &&
        echo "screenshot: ${E2E_FAILURE_SHOT:-/tmp/valumat-package-failure.png}" >&2
    for log in "$work"/*.log; do
        [[ -e $log ]] && { echo "--- $log" >&2; tail -5 "$log" >&2; }
    done
    exit 1
}
# Every shipped file of the folder $1 has a byte-equal copy in the folder $2.
same_files() {
    local file
    for file in waehrungen.dat tasten.dat options.dat keypress.txt keypressexcel.txt readme.txt hilfe/keypress.html; do
        cmp -s "$1/$file" "$2/$file" || fail "$2/$file is not the shipped $1/$file"
    done
}

# --- the Debian package ----------------------------------------------------------------------------------------
deb_part() {
    if [[ $(id -u) != 0 ]]; then echo "deb: SKIP (installing the package needs root)"; return; fi
    [[ -n $deb ]] || fail "no .deb in $dist"
    command -v apt-get >/dev/null && command -v runuser >/dev/null || { echo "deb: SKIP (no apt-get or runuser)"; return; }
    if dpkg-query -W -f='${Status}' valumat 2>/dev/null | grep -q "ok installed"; then
        echo "deb: SKIP (valumat is installed on this machine already: not touching it)"
        return
    fi
    local start=$SECONDS
    installed_deb=1
    (cd "$(dirname "$deb")" && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$(basename "$deb")") \
        >"$work/apt-install.log" 2>&1 || fail "apt-get install failed"
    [[ -x /usr/bin/valumat && -x /usr/bin/valumat-convert && -f /usr/share/valumat/waehrungen.dat ]] ||
        fail "the package did not install the programs and /usr/share/valumat"
    echo "deb: installed with apt-get in $((SECONDS - start)) s"

    if id "$user" >/dev/null 2>&1; then fail "a user $user exists already"; fi
    useradd -m -d "$work/home" -s /bin/bash "$user" || fail "useradd failed"
    made_user=1
    cp "$here/lib.sh" "$work/lib.sh"
    cat >"$work/as-user.sh" <<'USER'
#!/usr/bin/env bash
# The user's part: a private X display, Valumat from /usr/bin, Mousepad.
set -euo pipefail
work=$1
pids=()
trap end_session_user EXIT
end_session_user() { stop_pids "${pids[@]}"; [[ -n ${DBUS_SESSION_BUS_PID:-} ]] && kill "$DBUS_SESSION_BUS_PID" 2>/dev/null || true; }
source "$work/lib.sh"
fail() { echo "FAIL: $*" >&2; import -window root "$work/user/failure.png" 2>/dev/null || true; tail -5 "$work/user/valumat.log" >&2 || true; exit 1; }
mkdir -p "$work/user/run"
chmod 700 "$work/user/run"
export XDG_RUNTIME_DIR=$work/user/run
unset XDG_CONFIG_HOME
start_display "$work/user"
eval "$(dbus-launch --sh-syntax)"
[[ ! -e $HOME/.config/valumat ]] || fail "the user's folder exists before the first start"
cd /
valumat >"$work/user/valumat.log" 2>&1 &
pids+=($!)
wait_for 20 "Valumat started" grep -q "valumat: bereit" "$work/user/valumat.log"
wait_for 10 "the configuration window" xdotool search --onlyvisible --name "^Valumat V1.2"
for file in waehrungen.dat tasten.dat options.dat keypress.txt keypressexcel.txt readme.txt hilfe/keypress.html; do
    cmp -s "/usr/share/valumat/$file" "$HOME/.config/valumat/$file" || fail "~/.config/valumat/$file is not the shipped one"
done
for file in waehrungen.tmp tasten.tmp options.tmp; do
    [[ -f $HOME/.config/valumat/$file ]] || fail "no working copy ~/.config/valumat/$file"
done
echo "deb: the first start filled ~/.config/valumat with the shipped files and the working copies"

mousepad "$work/user/dokument.txt" >"$work/user/mousepad.log" 2>&1 &
pids+=($!)
wait_for 20 "the editor window" xdotool search --onlyvisible --class mousepad
editor=$(xdotool search --onlyvisible --class mousepad | head -1)
focus_editor() { xdotool windowactivate --sync "$editor" && xdotool windowfocus --sync "$editor"; }
editor_has() { [[ "$(copied_text "the editor's copy" ctrl+a ctrl+c)" == "$1" ]]; }
wait_for 5 "the editor focused" focus_editor
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 10 "100"
wait_for 5 "the amount in the editor" editor_has "100"
xdotool key --clearmodifiers ctrl+a
done_count() { grep -c "erledigt" "$work/user/valumat.log" || true; }
n=$(done_count)
xdotool key ctrl+d
wait_for 5 "the conversion" sh -c "[ \$(grep -c erledigt '$work/user/valumat.log') -gt $n ]"
wait_for 5 "195,58 in the editor" editor_has "195,58"
echo "deb: Ctrl+D converted 100 to 195,58 in Mousepad"

# Options tab, "Beim Windowsstart automatisch laden", "Übernehmen" (points in the window: twips / 15).
window=$(xdotool search --onlyvisible --name "^Valumat V1.2" | head -1)
xdotool windowactivate --sync "$window"
xdotool mousemove --window "$window" 238 17 click 1
sleep 0.3
xdotool mousemove --window "$window" 60 56 click 1
sleep 0.2
xdotool mousemove --window "$window" 408 316 click 1
wait_for 5 "options.dat written" grep -q "autostart: 1" "$HOME/.config/valumat/options.dat"
wait_for 5 "the autostart entry" test -f "$HOME/.config/autostart/valumat.desktop"
grep -qx "Exec=/usr/bin/valumat" "$HOME/.config/autostart/valumat.desktop" ||
    fail "the autostart entry: $(grep Exec "$HOME/.config/autostart/valumat.desktop")"
[[ ! -e /usr/share/valumat/options.tmp ]] || fail "a working copy in /usr/share/valumat"
echo "deb: \"Übernehmen\" wrote ~/.config/valumat/options.dat; autostart Exec=/usr/bin/valumat"
USER
    chmod 755 "$work/as-user.sh"
    mkdir -p "$work/user"
    chown "$user:" "$work/user"
    start=$SECONDS
    runuser -u "$user" -- env -i HOME="$work/home" USER="$user" LOGNAME="$user" PATH=/usr/bin:/bin \
        LANG=C.UTF-8 bash "$work/as-user.sh" "$work" || fail "the user's part failed"
    echo "deb: the user's part took $((SECONDS - start)) s"

    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq valumat >"$work/apt-remove.log" 2>&1 ||
        fail "apt-get remove failed"
    [[ ! -e /usr/bin/valumat && ! -e /usr/share/valumat ]] || fail "apt-get remove left the program"
    [[ -f $work/home/.config/valumat/options.dat ]] || fail "apt-get remove took the user's folder"
    grep -q "autostart: 1" "$work/home/.config/valumat/options.dat" || fail "the user's options changed"
    installed_deb=""
    echo "deb: apt-get remove took the program and left ~/.config/valumat"
}

# --- Windows: the installer and the zip under Wine -------------------------------------------------------------
# Records a Windows artefact's outcome (VALUMAT_WINE_RECORD) and says it.
record() {
    echo "$1: $2"
    [[ -n ${VALUMAT_WINE_RECORD:-} ]] && printf '%-26s %s\n' "package_$1" "$2" >>"$VALUMAT_WINE_RECORD"
    return 0
}
# A part that could not run any Windows artefact: skipped, or with CI=true failed.
not_run() {
    [[ ${CI:-} == true ]] && fail "$1 ran under no Wine loader: $2"
    echo "$1: SKIP ($2)"
}

# wine_start: a 64-bit Wine prefix (a 32-bit one where only the 32-bit loader runs) on a private display. Sets
# WINE to the prefix's own loader, appdata, localappdata and startmenu.
wine_ready=""
wine_start() {
    [[ -n $wine_ready ]] && return 0
    prefix_bits=64
    wine_loader 64 || { prefix_bits=32 && wine_loader 32; } || return 1
    prefix_wine=$WINE
    export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    [[ -n ${DISPLAY:-} ]] || start_display "$work"
    local start=$SECONDS
    "$WINE" wineboot --init >"$work/wineboot.log" 2>&1 || fail "wineboot failed"
    wineserver -w
    echo "wine: prefix ready in $((SECONDS - start)) s ($(basename "$WINE"))"
    appdata=$("$WINE" winepath -u "$("$WINE" cmd /c echo %APPDATA% | tr -d '\r')")
    localappdata=$("$WINE" winepath -u "$("$WINE" cmd /c echo %LOCALAPPDATA% | tr -d '\r')")
    startmenu="$appdata/Microsoft/Windows/Start Menu/Programs"
    wine_ready=1
}
reg_has() { "$prefix_wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | grep -q "$2"; }
reg_value() { "$prefix_wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z]* *//p"; }
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Valumat'

# start_valumat EXE LOG: Valumat under Wine (the loader for its kind), started from another folder; waits until it is
# ready.
start_valumat() {
    wine_use "$1" >/dev/null || fail "$1: $wine_why"
    (cd "$work" && WINEDEBUG=-all,warn+seh exec "$WINE" "$1") >"$2" 2>&1 &
    valumat_pid=$!
    pids+=("$valumat_pid")
    wait_for 60 "Valumat started ($1)" grep -aq "valumat: bereit" "$2"
}
# Ends the running Valumat with its "Beenden" button (the window is shown: not started minimised).
stop_valumat() {
    local w
    w=$(xdotool search --onlyvisible --name "^Valumat V1.2" | head -1)
    [[ -n $w ]] || fail "no Valumat window to end the program with"
    xdotool windowactivate --sync "$w"
    xdotool mousemove --window "$w" 60 316 click 1
    wait_for 10 "Valumat ended" sh -c "! kill -0 $valumat_pid 2>/dev/null"
}

wine_part() {
    [[ -n $setup ]] || fail "no setup.exe in $dist"
    wine_start || { not_run wine "$wine_why"; return; }
    # The shipped installer under the 32-bit loader, else its 64-bit build under the 64-bit one.
    local installer=$setup
    if ! wine_use "$setup" >/dev/null; then
        local why=$wine_why
        [[ -n $setup64 ]] || { record wine "$(basename "$setup") not run: $why (and no 64-bit build of it)"; not_run wine "$why"; return; }
        installer=$setup64
        wine_use "$installer" >/dev/null || { record wine "$(basename "$setup") not run: $why"; not_run wine "$wine_why"; return; }
        echo "wine: $(basename "$setup") cannot run here ($why): its 64-bit build stands in"
    fi
    local inst=$localappdata/Programs/Valumat start=$SECONDS loader=$wine_name bits
    "$WINE" "$installer" /S >"$work/setup.log" 2>&1 || fail "$(basename "$installer") /S failed"
    wait_for 30 "the installation" test -f "$inst/uninstall.exe"
    for file in valumat.exe valumat-convert.exe vorgaben/waehrungen.dat vorgaben/hilfe/keypress.html; do
        [[ -f $inst/$file ]] || fail "not installed: $inst/$file"
    done
    bits=$(pe_bits "$inst/valumat.exe")
    [[ $bits == "$prefix_bits" && $(pe_bits "$inst/valumat-convert.exe") == "$prefix_bits" ]] ||
        fail "the installer put the $bits-bit program into a $prefix_bits-bit prefix"
    [[ ! -e $inst/waehrungen.dat ]] || fail "data files beside the installed program"
    [[ -f $startmenu/Valumat.lnk ]] || fail "no Start-menu entry"
    [[ "$(reg_value "$uninstall_key" DisplayVersion)" == "$(basename "$setup" | sed 's/valumat-\(.*\)-setup.exe/\1/')" ]] ||
        fail "the uninstall key's DisplayVersion: $(reg_value "$uninstall_key" DisplayVersion)"
    reg_has "$uninstall_key" UninstallString || fail "no UninstallString"
    echo "wine: $(basename "$installer") /S ($loader) installed the $bits-bit program into %LOCALAPPDATA%\\Programs\\Valumat in $((SECONDS - start)) s (Start-menu entry, uninstall key)"

    start_valumat "$inst/valumat.exe" "$work/valumat-installed.log"
    same_files "$inst/vorgaben" "$appdata/Valumat"
    [[ -f $appdata/Valumat/waehrungen.tmp && ! -e $inst/waehrungen.tmp ]] || fail "working copies not in %APPDATA%\\Valumat"
    echo "wine: the installed program's data is in %APPDATA%\\Valumat"

    "$WINE" notepad >"$work/notepad.log" 2>&1 &
    pids+=($!)
    wait_for 30 "notepad" xdotool search --onlyvisible --name "Notepad"
    local notepad
    notepad=$(xdotool search --onlyvisible --name "Notepad" | head -1)
    focus_notepad() { xdotool windowactivate --sync "$notepad"; }
    notepad_has() { [[ "$(copied_text "notepad's copy" ctrl+a ctrl+c)" == "$1" ]]; }
    wait_for 5 "notepad focused" focus_notepad
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 20 "100"
    wait_for 5 "the amount in notepad" notepad_has "100"
    xdotool key --clearmodifiers ctrl+a
    local n
    n=$(grep -ac erledigt "$work/valumat-installed.log" || true)
    xdotool key ctrl+d
    wait_for 10 "the conversion" sh -c "[ \$(grep -ac erledigt '$work/valumat-installed.log') -gt $n ]"
    wait_for 5 "195,58 in notepad" notepad_has "195,58"
    echo "wine: the installed program converted 100 to 195,58 in notepad"

    # The user's own options survive a restart; autostart on makes the program write the Run value.
    stop_valumat
    printf 'autostart: 1\r\nminimiert: 1\r\nexceloptimiert: 0\r\n' >"$appdata/Valumat/options.dat"
    start_valumat "$inst/valumat.exe" "$work/valumat-second.log"
    grep -q "minimiert: 1" "$appdata/Valumat/options.dat" || fail "the second start replaced the user's options"
    local run
    run=$(reg_value "$run_key" Valumat)
    [[ $run == *'Programs\Valumat\valumat.exe"' ]] || fail "the Run value: [$run]"
    [[ -f $startmenu/Valumat.lnk ]] || fail "no Start-menu entry"
    echo "wine: a second start kept the user's options; Run value $run"

    # The uninstaller ends the running program first.
    start=$SECONDS
    wine_use "$inst/uninstall.exe" >/dev/null || fail "uninstall.exe: $wine_why"
    "$WINE" "$inst/uninstall.exe" /S >"$work/uninstall.log" 2>&1 || fail "uninstall.exe /S failed"
    wait_for 30 "the uninstallation" sh -c "! test -e '$inst'"
    wait_for 10 "the uninstall key removed" sh -c "! '$prefix_wine' reg query '$uninstall_key' >/dev/null 2>&1"
    kill -0 "$valumat_pid" 2>/dev/null && fail "Valumat still runs after the uninstallation"
    [[ ! -e $startmenu/Valumat.lnk ]] || fail "the Start-menu entry is still there"
    reg_has "$run_key" Valumat && fail "the Run value is still there"
    [[ -f $appdata/Valumat/options.dat ]] && grep -q "minimiert: 1" "$appdata/Valumat/options.dat" ||
        fail "the uninstaller took the user's data"
    echo "wine: uninstall.exe /S ended Valumat, removed program, Start-menu entry, Run value and uninstall key in $((SECONDS - start)) s; %APPDATA%\\Valumat stays"
    record wine "$(basename "$installer") in a $prefix_bits-bit prefix  $loader  passed: installed the $bits-bit program, ran it, uninstalled"

    # On 32-bit Windows the installer installs the 32-bit program.
    if [[ $installer == "$setup" && $prefix_bits == 64 ]]; then
        wine_use "$setup" >/dev/null || fail "$wine_why"
        local prefix32=$work/prefix32 inst32
        WINEPREFIX=$prefix32 WINEARCH=win32 "$WINE" wineboot --init >"$work/wineboot32.log" 2>&1 || fail "wineboot (32-bit prefix) failed"
        WINEPREFIX=$prefix32 WINEARCH=win32 "$WINE" "$setup" /S >"$work/setup32.log" 2>&1 || fail "setup.exe /S failed in a 32-bit prefix"
        inst32=$(WINEPREFIX=$prefix32 WINEARCH=win32 "$WINE" winepath -u "$(WINEPREFIX=$prefix32 WINEARCH=win32 "$WINE" cmd /c echo %LOCALAPPDATA% | tr -d '\r')")/Programs/Valumat
        wait_for 30 "the installation in a 32-bit prefix" test -f "$inst32/uninstall.exe"
        bits=$(pe_bits "$inst32/valumat.exe")
        [[ $bits == 32 ]] || fail "the installer put the $bits-bit program into a 32-bit prefix"
        local listed
        listed=$(cd "$work" && WINEPREFIX=$prefix32 WINEARCH=win32 "$WINE" "$inst32/valumat-convert.exe" --binding 0 -- 100 2>/dev/null | tr -d '\r')
        [[ $listed == "195,58" ]] || fail "the 32-bit valumat-convert.exe installed: [$listed]"
        WINEPREFIX=$prefix32 wineserver -k 2>/dev/null || true
        echo "wine: in a 32-bit prefix setup.exe /S installed the 32-bit program; its valumat-convert.exe converts"
        record wine "$(basename "$setup") in a 32-bit prefix  wine  passed: installed the 32-bit program"
    elif [[ $installer != "$setup" ]]; then
        record wine "$(basename "$setup") in a 32-bit prefix  wine  not run: $why"
    fi
}

zip_part() {
    [[ -n $zips ]] || fail "no zip in $dist"
    command -v unzip >/dev/null || { echo "zip: SKIP (no unzip)"; return; }
    wine_start || { not_run zip "$wine_why"; return; }
    local zip ran=0 whys=()
    for zip in $zips; do
        rm -rf "$appdata/Valumat" "$work/unpacked"
        mkdir -p "$work/unpacked"
        unzip -q "$zip" -d "$work/unpacked"
        local app=$work/unpacked/Valumat name
        name=$(basename "$zip")
        [[ -f $app/valumat.exe && -f $app/valumat-convert.exe && -f $app/waehrungen.dat && -f $app/hilfe/keypress.html ]] ||
            fail "$name lacks files: $(cd "$work/unpacked" && find . -type f | tr '\n' ' ')"
        local bits=32
        [[ $name == *-win64.zip ]] && bits=64
        [[ $(pe_bits "$app/valumat.exe") == "$bits" && $(pe_bits "$app/valumat-convert.exe") == "$bits" ]] ||
            fail "$name does not hold the $bits-bit programs"
        if ! wine_use "$app/valumat.exe" >/dev/null; then
            record zip "$name  not run: $wine_why"
            whys+=("$name: $wine_why")
            continue
        fi
        start_valumat "$app/valumat.exe" "$work/valumat-zip$bits.log"
        [[ -f $app/waehrungen.tmp && -f $app/tasten.tmp && -f $app/options.tmp ]] || fail "$name: no working copies beside the program"
        [[ ! -e $appdata/Valumat ]] || fail "$name: the portable program made %APPDATA%\\Valumat"
        stop_valumat
        local listed
        listed=$(cd "$work" && "$WINE" "$app/valumat-convert.exe" --list 2>/dev/null | tr -d '\r' | head -1)
        [[ $listed == "Datenordner: "*'unpacked\Valumat\' ]] || fail "$name: valumat-convert --list: [$listed]"
        echo "zip: $name ($wine_name) portable: working copies beside valumat.exe, no %APPDATA%\\Valumat; valumat-convert: $listed"
        record zip "$name  $wine_name  passed"
        ran=$((ran + 1))
    done
    ((ran > 0)) || not_run zip "${whys[*]}"
}

for part in $parts; do
    "${part}_part"
done
echo "PASS"
