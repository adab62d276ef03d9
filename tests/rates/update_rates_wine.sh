#!/usr/bin/env bash
# valumat-convert.exe --update-rates under Wine (WinHTTP and XmlLite): a rates file from the disk gives the same
# data files, byte for byte, as the Linux program; bad files and bad answers leave them as they were and say why.
# Over HTTPS from a local server whose certificate comes from an authority made here: refused as untrusted, then,
# with the authority put into the fresh Wine prefix's root store (Wine's own store of trusted roots, in its
# registry), loaded. The timings of the daily file's update are printed.
#
#   tests/rates/update_rates_wine.sh CONVERT_EXE LINUX_CONVERT
set -euo pipefail
exe=$1
linux_convert=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/rates/https_lib.sh
source "$here/https_lib.sh"
data=$(cd "$(dirname "$exe")" && pwd)
# shellcheck source=tests/e2e/wine.sh
source "$here/../e2e/wine.sh"
wine_use "$exe" || wine_cannot "$wine_why"
for tool in openssl python3 iconv; do
    command -v "$tool" >/dev/null || wine_cannot "$tool missing"
done

work=$(mktemp -d)
server_pid=""
proxy_pid=""
cleanup() {
    [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null
    [[ -z $proxy_pid ]] || kill "$proxy_pid" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
    echo "FEHLER: $*" >&2
    failures=$((failures + 1))
}
export HOME=$work/home WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$HOME"
unset https_proxy HTTPS_PROXY http_proxy HTTP_PROXY all_proxy ALL_PROXY
"$WINE" wineboot --init >"$work/wineboot.log" 2>&1 || { echo "FEHLER: wineboot" >&2; exit 1; }
wineserver -w
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# A rates file: envelope, one day per argument "DATE:CODE=RATE,CODE=RATE".
rates_file() {
    printf '<?xml version="1.0" encoding="UTF-8"?>\n'
    printf '<gesmes:Envelope xmlns:gesmes="http://www.gesmes.org/xml/2002-08-01" '
    printf 'xmlns="http://www.ecb.int/vocabulary/2002-08-01/eurofxref">\n'
    printf '\t<gesmes:subject>Reference rates</gesmes:subject>\n'
    printf '\t<gesmes:Sender><gesmes:name>European Central Bank</gesmes:name></gesmes:Sender>\n\t<Cube>\n'
    local day pair
    for day in "$@"; do
        printf "\t\t<Cube time='%s'>\n" "${day%%:*}"
        IFS=, read -ra pairs <<<"${day#*:}"
        for pair in "${pairs[@]}"; do
            printf "\t\t\t<Cube currency='%s' rate='%s'/>\n" "${pair%%=*}" "${pair#*=}"
        done
        printf '\t\t</Cube>\n'
    done
    printf '\t</Cube>\n</gesmes:Envelope>\n'
}
mkdir "$work/www"
day1='2026-12-08:USD=1.1642,JPY=180.42,GBP=0.87405,CHF=0.9368,BGN=1.9558,ZAR=19.7520'
rates_file "$day1" >"$work/www/daily.xml"
head -c 400 "$work/www/daily.xml" >"$work/www/truncated.xml" # from the file: a pipe could end the writer early
rates_file "$day1" | sed 's|</Cube>|</Cub>|' >"$work/www/malformed.xml"
printf '<!DOCTYPE html>\n<html><head><title>Wartung</title></head><body><p>Wartung<br></body></html>\n' \
    >"$work/www/page.html"
rates_file '2026-12-08:USD=0,JPY=180.42' >"$work/www/zero.xml"
rates_file '2026-12-08:USD=1.1642,USD=1.17' >"$work/www/duplicate.xml"
rates_file '2026-12-08:USD=1.1642' | sed "s| time='2026-12-08'||" >"$work/www/nodate.xml"
printf '<?xml version="1.0"?>\n<!DOCTYPE x [<!ENTITY a "aaaa">]>\n<x>&a;</x>\n' >"$work/www/doctype.xml"
printf '<?xml version="1.0"?><rss><channel/></rss>\n' >"$work/www/other.xml"
head -c $((17 * 1024 * 1024)) /dev/zero | tr '\0' ' ' >"$work/www/large.xml"

fresh() { # fresh DIR: a data folder with the shipped files
    rm -rf "$1"
    mkdir -p "$1"
    cp "$data/waehrungen.dat" "$data/tasten.dat" "$data/options.dat" "$1/"
}
run() { # run ARGS...: output in $out, status in $status; the data folder is $work/d
    set +e
    out=$("$WINE" "$exe" --dir "$(windows_path "$work/d")" --update-rates "$@" 2>&1 | tr -d '\r')
    status=${PIPESTATUS[0]}
    set -e
}
line_of() { iconv -f WINDOWS-1252 -t UTF-8 "$work/d/waehrungen.dat" | grep -a "; $1 ;" | tr -d '\r'; }
millis() { date +%s%3N; }

# --- A good file from the disk: the same data files as on Linux -----------------------------------------------------
fresh "$work/d"
source_path=$(windows_path "$work/www/daily.xml")
run "$source_path"
[[ $status == 0 && $out == *"4 Kurse vom 08.12.2026 aktualisiert"* ]] || fail "daily file: $status: $out"
[[ $(line_of USD) == "US-Dollar; USD ;Vereinigte Staaten; 1,1642; 0,858959; 0; 2" ]] || fail "USD: $(line_of USD)"
[[ $(line_of BGN) == "Bulgarischer Lew; BGN ;Bulgarien; 1,95583; 0,5112919; 1; 2" ]] || fail "fixed BGN changed"
fresh "$work/linux"
"$linux_convert" --dir "$work/linux" --update-rates "$work/www/daily.xml" >/dev/null
cmp -s "$work/linux/waehrungen.dat" "$work/d/waehrungen.dat" || fail "waehrungen.dat differs from the Linux program's"
expected_info=$(printf 'datum: 2026-12-08\r\nquelle: %s\r\ngeladen: %s\r\ntaeglich: 0\r\n_' "$source_path" "$(date -u +%F)")
[[ "$(cat "$work/d/kurse.dat"; printf _)" == "$expected_info" ]] || fail "kurse.dat: $(cat -A "$work/d/kurse.dat")"
for f in tasten.dat options.dat; do cmp -s "$data/$f" "$work/d/$f" || fail "$f changed"; done

# --- Bad files: nothing written, the message says why ---------------------------------------------------------------
w=$(windows_path "$work/www")
cases=(
    "$w\\truncated.xml|Die Kursdatei ist fehlerhaft oder unvollständig (XML-Fehler in Zeile"
    "$w\\malformed.xml|Die Kursdatei ist fehlerhaft oder unvollständig (XML-Fehler in Zeile 13: mismatched tag)"
    "$w\\page.html|Die Antwort ist eine HTML-Seite, keine Kursdatei der EZB"
    "$w\\zero.xml|Ungültiger Kurs für USD am 08.12.2026: \"0\""
    "$w\\duplicate.xml|USD steht zweimal in den Kursen vom 08.12.2026"
    "$w\\nodate.xml|Das Datum der Kurse fehlt"
    "$w\\doctype.xml|Die Antwort hat eine Dokumenttyp-Deklaration, keine Kursdatei der EZB"
    "$w\\other.xml|Keine Kursdatei der EZB (Wurzelelement <rss>)"
    "$w\\large.xml|Die Datei $w\\large.xml ist größer als 16 MiB, keine Kursdatei der EZB"
    "$w\\none.xml|Datei nicht gefunden: $w\\none.xml"
    "http://localhost/daily.xml|Nur https://-Adressen werden geladen: http://localhost/daily.xml"
)
check_cases() {
    local case expected before
    before=$(sha256sum "$work/d"/*)
    for case in "$@"; do
        expected=${case#*|}
        run "${case%%|*}"
        [[ $status == 1 ]] || fail "${case%%|*}: status $status"
        [[ $out == "valumat-convert: Kurse nicht aktualisiert: $expected"* ]] || fail "${case%%|*}: $out"
        [[ $(sha256sum "$work/d"/*) == "$before" ]] || fail "${case%%|*}: the data files changed"
    done
}
check_cases "${cases[@]}"

# --- HTTPS from a local server --------------------------------------------------------------------------------------
make_certificates "$work"
start_https_server "$work/www" "$work"
# Wine checks the host name against the certificate's DNS names only, so the server is "localhost".
base="https://localhost:$port"

# The test's authority is not trusted yet.
check_cases "$base/daily.xml|Das Zertifikat von localhost ist nicht vertrauenswürdig"

# Trusted for this prefix: the certificate as a value of the machine's root store in the registry (the key is its
# SHA-1 hash, the value a property list whose entry 32 is the certificate itself).
openssl x509 -in "$work/ca.pem" -outform DER -out "$work/ca.der"
thumb=$(openssl x509 -in "$work/ca.pem" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
python3 - "$work/ca.der" "$thumb" "$work/ca.reg" <<'EOF'
import struct, sys
der = open(sys.argv[1], "rb").read()
blob = struct.pack("<III", 32, 1, len(der)) + der
key = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\" + sys.argv[2]
text = "Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n\"Blob\"=hex:%s\r\n" % (key, ",".join("%02x" % b for b in blob))
open(sys.argv[3], "w", encoding="utf-16").write(text)
EOF
"$WINE" reg import "$(windows_path "$work/ca.reg")" >/dev/null 2>&1 || fail "the authority not imported"

fresh "$work/d"
run "$base/daily.xml"
[[ $status == 0 && $out == *"4 Kurse vom 08.12.2026 aktualisiert"* ]] || fail "HTTPS: $status: $out"
cmp -s "$work/linux/waehrungen.dat" "$work/d/waehrungen.dat" || fail "HTTPS: waehrungen.dat differs"
grep -q "^quelle: $base/daily.xml"$'\r'"$" "$work/d/kurse.dat" || fail "HTTPS: kurse.dat: $(cat "$work/d/kurse.dat")"

# The user's proxy as "Internet Options" set it (Wine keeps it as the binary value DefaultConnectionSettings: a
# header, then the proxy, its exceptions and a script address, each as length and text): the load goes through it,
# an address among its exceptions goes direct, a proxy that is not there is said as a failed connection.
start_proxy "$work"
proxy_settings() { # proxy_settings PROXY EXCEPTIONS
    python3 - "$1" "$2" "$work/proxy.reg" <<'EOF'
import struct, sys
proxy, bypass = sys.argv[1].encode(), sys.argv[2].encode()
blob = struct.pack("<III", 0x46, 0, 2)  # the settings' mark, 0, "a named proxy"
for text in (proxy, bypass, b""):
    blob += struct.pack("<I", len(text)) + text
key = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections"
value = ",".join("%02x" % b for b in blob)
text = 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n"DefaultConnectionSettings"=hex:%s\r\n' % (key, value)
open(sys.argv[3], "w", encoding="utf-16").write(text)
EOF
    "$WINE" reg import "$(windows_path "$work/proxy.reg")" >/dev/null 2>&1 || fail "the proxy settings not imported"
}
proxy="127.0.0.1:$proxy_port"
proxy_settings "$proxy" ""
fresh "$work/d"
run "$base/daily.xml"
[[ $status == 0 && $out == *"4 Kurse vom 08.12.2026 aktualisiert"* ]] || fail "through the proxy: $status: $out"
grep -q "^CONNECT localhost:$port " "$work/proxy.log" || fail "the proxy was not asked: $(cat "$work/proxy.log")"
: >"$work/proxy.log"
proxy_settings "$proxy" "localhost"
fresh "$work/d"
run "$base/daily.xml"
[[ $status == 0 && ! -s $work/proxy.log ]] || fail "an exception through the proxy: $status: $(cat "$work/proxy.log")"
proxy_settings "127.0.0.1:1" ""
check_cases "$base/daily.xml|Keine Verbindung zu localhost (offline?)"
"$WINE" reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections' \
    /v DefaultConnectionSettings /f >/dev/null 2>&1 || fail "the proxy settings not removed"
kill "$proxy_pid"
proxy_pid=""
echo "update_rates under Wine: through the user's proxy (a tunnel to localhost), its exceptions direct, a proxy" \
    "that is not there said"

export VALUMAT_RATES_TIMEOUT=2
check_cases \
    "$base/status/404|Der Server localhost antwortet mit HTTP 404, keine Kursdatei der EZB" \
    "$base/status/500|Der Server localhost antwortet mit HTTP 500, keine Kursdatei der EZB" \
    "$base/page.html|Die Antwort ist eine HTML-Seite, keine Kursdatei der EZB" \
    "$base/truncated.xml|Die Kursdatei ist fehlerhaft oder unvollständig (XML-Fehler in Zeile" \
    "$base/large.xml|Die Antwort von localhost ist größer als 16 MiB, keine Kursdatei der EZB" \
    "$base/hang|localhost hat nicht innerhalb von 2 s geantwortet (Zeitüberschreitung)" \
    "https://localhost:1/daily.xml|Keine Verbindung zu localhost (offline?)"

# Figures: whole runs of valumat-convert.exe, median of 5; --list loads nothing (Wine's start and the data files).
timed() { # timed ARGS...: milliseconds
    local t0 times=()
    for _ in 1 2 3 4 5; do
        t0=$(millis)
        "$WINE" "$exe" --dir "$(windows_path "$work/d")" "$@" >/dev/null 2>&1 || true
        times+=($(($(millis) - t0)))
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n 3p
}
t_list=$(timed --list)
t_file=$(timed --update-rates "$source_path" --dry-run)
t_https=$(timed --update-rates "$base/daily.xml" --dry-run)
echo "update_rates (Wine $wine_name, whole runs): --list $t_list ms; the daily file from the disk $t_file ms," \
    "over HTTPS $t_https ms"
if ((failures)); then
    echo "$failures Fehler" >&2
    exit 1
fi
echo "update_rates under Wine: alle Fälle bestanden"
