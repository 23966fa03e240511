#!/usr/bin/env bash
# A TLS server with a self-signed certificate that no system store trusts, for the tests of
# both builds: `start DIR` makes the certificate, starts `openssl s_server` on a free port of
# 127.0.0.1 and writes its address to DIR/url; `stop DIR` ends that server.
set -euo pipefail
action=$1
dir=$2

start() {
    rm -rf "$dir"
    mkdir -p "$dir"
    openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -days 2 \
        -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>"$dir/req.log"
    # Ends by itself should the stop never come.
    setsid timeout 1800 openssl s_server -accept 127.0.0.1:0 -cert "$dir/cert.pem" -key "$dir/key.pem" -www \
        </dev/null >"$dir/server.log" 2>&1 &
    echo $! >"$dir/pid"
    for _ in $(seq 100); do
        port=$(sed -n 's/^ACCEPT 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$dir/server.log")
        if [ -n "$port" ]; then
            echo "https://127.0.0.1:$port" >"$dir/url"
            return 0
        fi
        sleep 0.1
    done
    echo "openssl s_server did not start:" >&2
    cat "$dir/server.log" >&2
    return 1
}

stop() {
    [ -f "$dir/pid" ] || return 0
    kill "$(cat "$dir/pid")" 2>/dev/null || true
    rm -f "$dir/pid" "$dir/url"
}

"$action"
