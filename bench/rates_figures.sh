#!/usr/bin/env bash
# Figures of valumat-convert --update-rates: the time and the peak memory of an update from a local file and from a
# local HTTPS server (a certificate of an authority made for the run), for a daily file (30 currencies) and for a
# history-sized file (6800 days), median of RUNS runs each.
#
#   bench/rates_figures.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build/default}
runs=${2:-9}
root=$(cd "$(dirname "$0")/.." && pwd)
convert=$(cd "$build" && pwd)/bin/valumat-convert
work=$(mktemp -d)
server_pid=""
trap '[[ -n $server_pid ]] && kill $server_pid 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 1 -subj "/CN=Bench CA" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=localhost" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\n' >server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 1 \
    -extfile server.ext 2>/dev/null
mkdir www
python3 - <<'PY'
import datetime
codes = "USD JPY BGN CZK DKK GBP HUF PLN RON SEK CHF ISK NOK TRY AUD BRL CAD CNY HKD IDR ILS INR KRW MXN MYR NZD PHP SGD THB ZAR".split()
def envelope(days):
    out = ['<?xml version="1.0" encoding="UTF-8"?>\n<gesmes:Envelope xmlns:gesmes="http://www.gesmes.org/xml/2002-08-01" xmlns="http://www.ecb.int/vocabulary/2002-08-01/eurofxref">\n<gesmes:subject>Reference rates</gesmes:subject>\n<Cube>\n']
    d = datetime.date(2026, 12, 8)
    for i in range(days):
        out.append("<Cube time='%s'>\n" % (d - datetime.timedelta(days=i)).isoformat())
        for j, c in enumerate(codes):
            out.append("<Cube currency='%s' rate='%.4f'/>\n" % (c, 1.1 + j + i * 0.0001))
        out.append("</Cube>\n")
    out.append("</Cube>\n</gesmes:Envelope>\n")
    return "".join(out)
open("www/daily.xml", "w").write(envelope(1))
open("www/hist.xml", "w").write(envelope(6800))
PY
python3 "$root/tests/rates/https_server.py" www server.pem server.key port &
server_pid=$!
for _ in $(seq 100); do [[ -f port ]] && break; sleep 0.05; done
export VALUMAT_RATES_CA_FILE=$work/ca.pem
measure() { # label source
    local times=() mems=()
    for _ in $(seq "$runs"); do
        rm -rf d && mkdir d && cp "$root/data/waehrungen.dat" "$root/data/tasten.dat" d/
        /usr/bin/time -f '%e %M' -o t "$convert" --dir d --update-rates "$2" >/dev/null
        read -r s k <t
        times+=("$s")
        mems+=("$k")
    done
    local t m
    t=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
    m=$(printf '%s\n' "${mems[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
    printf '%-34s %6s s  %6s KiB peak resident\n' "$1" "$t" "$m"
}
printf 'file sizes: daily %s bytes, history %s bytes\n' "$(stat -c %s www/daily.xml)" "$(stat -c %s www/hist.xml)"
measure "daily, local file" www/daily.xml
measure "daily, local HTTPS" "https://127.0.0.1:$(cat port)/daily.xml"
measure "history, local file" www/hist.xml
measure "history, local HTTPS" "https://127.0.0.1:$(cat port)/hist.xml"
