#!/usr/bin/env bash
# valumat-convert --update-rates end to end: a local HTTPS server with a certificate of a test authority made here
# (trusted through VALUMAT_RATES_CA_FILE for this run only) serves rates files written here; every bad answer leaves
# the data files byte for byte as they were and says what happened.
#
#   tests/rates/update_rates_test.sh CONVERT DATA_DIR
set -euo pipefail
convert=$1
data=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/rates/https_lib.sh
source "$here/https_lib.sh"
work=$(mktemp -d)
server_pid=""
proxy_pid=""
cleanup() {
    [[ -z $proxy_pid ]] || kill "$proxy_pid" 2>/dev/null || true
    [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
    echo "FEHLER: $*" >&2
    failures=$((failures + 1))
}

# The test's authority and the server's certificate for 127.0.0.1 and localhost.
make_certificates "$work"
mkdir "$work/www"
start_https_server "$work/www" "$work"
base="https://127.0.0.1:$port"
export VALUMAT_RATES_CA_FILE=$work/ca.pem VALUMAT_RATES_TIMEOUT=2
unset https_proxy HTTPS_PROXY all_proxy ALL_PROXY

# A rates file: envelope, one day per argument "DATE:CODE=RATE,CODE=RATE".
rates_file() {
    printf '<?xml version="1.0" encoding="UTF-8"?>\n'
    printf '<gesmes:Envelope xmlns:gesmes="http://www.gesmes.org/xml/2002-08-01" '
    printf 'xmlns="http://www.ecb.int/vocabulary/2002-08-01/eurofxref">\n'
    printf '\t<gesmes:subject>Reference rates</gesmes:subject>\n'
    printf '\t<gesmes:Sender><gesmes:name>European Central Bank</gesmes:name></gesmes:Sender>\n\t<Cube>\n'
    local day
    for day in "$@"; do
        printf "\t\t<Cube time='%s'>\n" "${day%%:*}"
        local pair
        IFS=, read -ra pairs <<<"${day#*:}"
        for pair in "${pairs[@]}"; do
            printf "\t\t\t<Cube currency='%s' rate='%s'/>\n" "${pair%%=*}" "${pair#*=}"
        done
        printf '\t\t</Cube>\n'
    done
    printf '\t</Cube>\n</gesmes:Envelope>\n'
}

day1='2026-12-08:USD=1.1642,JPY=180.42,GBP=0.87405,CHF=0.9368,BGN=1.9558,ZAR=19.7520'
rates_file "$day1" >"$work/www/daily.xml"
rates_file "$day1" '2026-12-05:USD=1.1600,JPY=179.10' '2026-12-04:USD=1.1550,JPY=178.00' >"$work/www/90d.xml"

fresh() { # a data folder with the shipped files
    rm -rf "$work/d"
    mkdir "$work/d"
    cp "$data/waehrungen.dat" "$data/tasten.dat" "$data/options.dat" "$work/d/"
}
run() { # run ARGS...: output in $out, status in $status
    set +e
    out=$("$convert" --dir "$work/d" --update-rates "$@" 2>&1)
    status=$?
    set -e
}
line_of() { # the currency file's line of a code, as UTF-8
    iconv -f WINDOWS-1252 -t UTF-8 "$work/d/waehrungen.dat" | grep -a "; $1 ;" | tr -d '\r'
}

# --- Good answers --------------------------------------------------------------------------------------------------
fresh
run "$base/daily.xml"
[[ $status == 0 ]] || fail "daily: status $status: $out"
[[ $out == *"4 Kurse vom 08.12.2026 aktualisiert"* ]] || fail "daily: summary: $out"
[[ $(line_of USD) == "US-Dollar; USD ;Vereinigte Staaten; 1,1642; 0,858959; 0; 2" ]] || fail "USD: $(line_of USD)"
[[ $(line_of JPY) == "Yen; JPY ;Japan; 180,42; 0,0055426; 0; 0" ]] || fail "JPY: $(line_of JPY)"
[[ $(line_of BGN) == "Bulgarischer Lew; BGN ;Bulgarien; 1,95583; 0,5112919; 1; 2" ]] || fail "fixed BGN changed"
[[ $out == *"Fester Kurs, nicht geändert: Bulgarischer Lew"* ]] || fail "fixed not named: $out"
[[ $out == *"Nicht in der Währungstabelle (--add fügt sie hinzu): ZAR"* ]] || fail "ZAR not named: $out"
# Only the rows of the four floating codes differ; the file keeps its format (Windows-1252, CR LF).
changed=$(diff <(tr -d '\r' <"$data/waehrungen.dat") <(tr -d '\r' <"$work/d/waehrungen.dat") | grep -c '^>' || true)
[[ $changed == 4 ]] || fail "$changed lines changed, expected 4"
[[ $(grep -c $'\r$' "$work/d/waehrungen.dat") == $(wc -l <"$work/d/waehrungen.dat") ]] || fail "lines lost CR LF"
expected_info=$(printf 'datum: 2026-12-08\r\nquelle: %s\r\ngeladen: %s\r\ntaeglich: 0\r' "$base/daily.xml" "$(date -u +%F)")
[[ $(cat "$work/d/kurse.dat") == "$expected_info" ]] || fail "kurse.dat: $(cat -A "$work/d/kurse.dat")"

fresh
before=$(sha256sum <"$work/d/waehrungen.dat")
run "$base/90d.xml" --date 2026-12-05 --dry-run
[[ $status == 0 && $out == *"2 Kurse vom 05.12.2026 aktualisiert (Probelauf, nichts geschrieben)"* ]] ||
    fail "dry run: $status $out"
[[ $out == *"US-Dollar  USD   1,1050       -> 1,16          0,9049774    -> 0,862069"* ]] ||
    fail "dry-run table: $out"
[[ $(sha256sum <"$work/d/waehrungen.dat") == "$before" && ! -e $work/d/kurse.dat ]] || fail "dry run wrote"
run "$base/90d.xml" --date 2026-12-04
[[ $status == 0 && $(line_of USD) == "US-Dollar; USD ;Vereinigte Staaten; 1,155; 0,8658009; 0; 2" ]] ||
    fail "--date: $status $out $(line_of USD)"

fresh
run "$work/www/daily.xml" --add
[[ $status == 0 && $(line_of ZAR) == "Südafrikanischer Rand; ZAR ;Südafrika; 19,752; 0,0506278; 0; 2" ]] ||
    fail "--add from a file: $status $out"

# --- Bad answers: nothing written, the message says why -------------------------------------------------------------
head -c 400 "$work/www/daily.xml" >"$work/www/truncated.xml" # from the file: a pipe could end the writer early
rates_file "$day1" | sed 's|</Cube>|</Cub>|' >"$work/www/malformed.xml"
printf '<!DOCTYPE html>\n<html><head><title>Wartung</title></head><body><p>Wartung<br></body></html>\n' \
    >"$work/www/page.html"
rates_file '2026-12-08:USD=0,JPY=180.42' >"$work/www/zero.xml"
rates_file '2026-12-08:USD=-1.1642' >"$work/www/negative.xml"
rates_file '2026-12-08:USD=NaN' >"$work/www/nan.xml"
rates_file '2026-12-08:USD=1164200000' >"$work/www/huge.xml"
rates_file '2026-12-08:USD=1.1642,USD=1.17' >"$work/www/duplicate.xml"
rates_file '2026-12-08:USD=1.1642' | sed "s| time='2026-12-08'||" >"$work/www/nodate.xml"
printf '<?xml version="1.0"?><rss><channel/></rss>\n' >"$work/www/other.xml"
head -c $((17 * 1024 * 1024)) /dev/zero | tr '\0' ' ' >"$work/www/large.xml"
cases=(
    "$base/truncated.xml|Die Kursdatei ist fehlerhaft oder unvollständig (XML-Fehler in Zeile"
    "$base/malformed.xml|Die Kursdatei ist fehlerhaft oder unvollständig (XML-Fehler in Zeile 13: mismatched tag)"
    "$base/page.html|Die Antwort ist eine HTML-Seite, keine Kursdatei der EZB"
    "$base/status/404|Der Server 127.0.0.1 antwortet mit HTTP 404, keine Kursdatei der EZB"
    "$base/status/500|Der Server 127.0.0.1 antwortet mit HTTP 500, keine Kursdatei der EZB"
    "$base/hang|127.0.0.1 hat nicht innerhalb von 2 s geantwortet (Zeitüberschreitung)"
    "$base/zero.xml|Ungültiger Kurs für USD am 08.12.2026: \"0\""
    "$base/negative.xml|Ungültiger Kurs für USD am 08.12.2026: \"-1.1642\""
    "$base/nan.xml|Ungültiger Kurs für USD am 08.12.2026: \"NaN\""
    "$base/huge.xml|Ungültiger Kurs für USD am 08.12.2026: \"1164200000\""
    "$base/duplicate.xml|USD steht zweimal in den Kursen vom 08.12.2026"
    "$base/nodate.xml|Das Datum der Kurse fehlt"
    "$base/other.xml|Keine Kursdatei der EZB (Wurzelelement <rss>)"
    "$base/large.xml|Die Antwort von 127.0.0.1 ist größer als 16 MiB, keine Kursdatei der EZB"
    "$base/missing.xml|Der Server 127.0.0.1 antwortet mit HTTP 404, keine Kursdatei der EZB"
    "https://127.0.0.1:1/daily.xml|Keine Verbindung zu 127.0.0.1 (offline?)"
    "http://127.0.0.1:$port/daily.xml|Nur https://-Adressen werden geladen: http://127.0.0.1:$port/daily.xml"
    "$base/90d.xml --date 2026-12-06|Keine Kurse vom 06.12.2026 in der Kursdatei (die letzten davor: 05.12.2026)"
    "$work/www/large.xml|Die Datei $work/www/large.xml ist größer als 16 MiB, keine Kursdatei der EZB"
    "$work/www/none.xml|Datei nicht gefunden: $work/www/none.xml"
)
fresh
before=$(sha256sum "$work/d"/*)
for case in "${cases[@]}"; do
    read -ra args <<<"${case%%|*}"
    expected=${case#*|}
    run "${args[@]}"
    [[ $status == 1 ]] || fail "${args[*]}: status $status"
    [[ $out == "valumat-convert: Kurse nicht aktualisiert: $expected"* ]] || fail "${args[*]}: $out"
    [[ $(sha256sum "$work/d"/*) == "$before" ]] || fail "${args[*]}: the data files changed"
done
# A certificate the system does not trust: the same server without the test's authority.
set +e
out=$(env -u VALUMAT_RATES_CA_FILE "$convert" --dir "$work/d" --update-rates "$base/daily.xml" 2>&1)
status=$?
set -e
[[ $status == 1 && $out == *"Das Zertifikat von 127.0.0.1 ist nicht vertrauenswürdig"* ]] ||
    fail "untrusted certificate: $status $out"
[[ $(sha256sum "$work/d"/*) == "$before" ]] || fail "untrusted certificate: the data files changed"
# The environment's proxy is used: one that does not answer stops the update.
set +e
out=$(https_proxy=http://127.0.0.1:1 "$convert" --dir "$work/d" --update-rates "$base/daily.xml" 2>&1)
status=$?
set -e
[[ $status == 1 && $out == *"Keine Verbindung zu 127.0.0.1 (offline?)"* ]] || fail "proxy: $status $out"
# One that answers carries the load through a tunnel.
start_proxy "$work"
fresh
https_proxy=http://127.0.0.1:$proxy_port run "$base/daily.xml"
[[ $status == 0 && $out == *"Kurse vom 08.12.2026 aktualisiert"* ]] || fail "through the proxy: $status $out"
grep -q "^CONNECT 127.0.0.1:$port " "$work/proxy.log" || fail "the proxy was not asked: $(cat "$work/proxy.log")"
kill "$proxy_pid"
proxy_pid=""

if ((failures)); then
    echo "$failures Fehler" >&2
    exit 1
fi
echo "update_rates: alle Fälle bestanden"
