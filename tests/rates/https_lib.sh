# The rates tests' local HTTPS server and proxy, sourced by them.
#
# make_certificates DIR: a test authority (DIR/ca.pem) and a server certificate it signed for localhost and
# 127.0.0.1 (DIR/server.pem, DIR/server.key), valid for two days.
make_certificates() {
    (
        cd "$1"
        openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Valumat Test CA" \
            -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
        openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=localhost" 2>/dev/null
        printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' \
            >server.ext
        openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2 \
            -extfile server.ext 2>/dev/null
    )
}

# start_https_server WWW DIR: serves the folder WWW over HTTPS with DIR's server certificate on a free port; sets
# server_pid and port.
start_https_server() {
    python3 "$(dirname "${BASH_SOURCE[0]}")/https_server.py" "$1" "$2/server.pem" "$2/server.key" "$2/port" &
    server_pid=$!
    for _ in $(seq 100); do [[ -f $2/port ]] && break; sleep 0.05; done
    port=$(cat "$2/port")
}

# start_proxy DIR: an HTTPS proxy (CONNECT) on a free port, logging each request's line to DIR/proxy.log; sets
# proxy_pid and proxy_port.
start_proxy() {
    python3 "$(dirname "${BASH_SOURCE[0]}")/connect_proxy.py" "$1/proxy.log" "$1/proxy.port" &
    proxy_pid=$!
    for _ in $(seq 100); do [[ -f $1/proxy.port ]] && break; sleep 0.05; done
    proxy_port=$(cat "$1/proxy.port")
}
