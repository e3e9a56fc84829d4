#!/usr/bin/env bash
# courivane-check against real servers: nginx serves status files over http:// and https://
# (the test CA's certificate, a self-signed one, one for another host, one location behind
# Basic authentication, name-based virtual hosts whose default site knows no status), read
# directly and through tinyproxy (plain requests, CONNECT tunnels).
# Usage: https.sh BUILD_BIN_DIR
set -uo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../support/lib.sh
source "$here/tests/support/lib.sh"
logs="nginx tinyproxy"
needs nginx tinyproxy openssl curl
tls="$here/tests/support/tls"

# Seven ports nothing listens on, each a different one.
taken=" "
free_port() {
    local p
    for _ in $(seq 50); do
        p=$((20000 + RANDOM % 20000))
        case "$taken" in *" $p "*) continue ;; esac
        (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null && continue
        taken+="$p "
        port_found=$p
        return
    done
    fail "no free port"
}
free_port; plain=$port_found
free_port; trusted=$port_found
free_port; untrusted=$port_found
free_port; other=$port_found
free_port; proxy=$port_found
free_port; named=$port_found
free_port; namedtls=$port_found

# The demo server's current statuses, served as files.
demo "$work/demo"
mkdir -p "$work/www/status" "$work/www/secure/status"
curl -sf "http://127.0.0.1:$port/status/cedarpineStatus.txt" >"$work/www/status/cedarpineStatus.txt" ||
    fail "no status from the demo server"
cp "$work/www/status/cedarpineStatus.txt" "$work/www/secure/status/"
# The user name the server asks for is the account's.
printf 'cedarpine:%s\n' "$(openssl passwd -apr1 's3cret pass')" >"$work/htpasswd"

mkdir -p "$work/nginx"
server() { # port, certificate ("" for plain http)
    echo "server { listen 127.0.0.1:$1${2:+ ssl}; root $work/www;"
    [ -n "$2" ] && echo "ssl_certificate $tls/$2; ssl_certificate_key $tls/server.key.pem;"
    echo "location /secure/ { auth_basic \"status\"; auth_basic_user_file $work/htpasswd; } }"
}
named() { # port, certificate ("" for plain http): the status only for a request naming localhost
    local cert=""
    [ -n "$2" ] && cert="ssl_certificate $tls/$2; ssl_certificate_key $tls/server.key.pem;"
    echo "server { listen 127.0.0.1:$1${2:+ ssl} default_server; $cert return 404; }"
    echo "server { listen 127.0.0.1:$1${2:+ ssl}; server_name localhost; root $work/www; $cert }"
}
cat >"$work/nginx/nginx.conf" <<CONF
master_process off;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx.log;
events { worker_connections 64; }
http {
    access_log off;
    default_type text/plain;
    client_body_temp_path $work/nginx; proxy_temp_path $work/nginx; fastcgi_temp_path $work/nginx;
    uwsgi_temp_path $work/nginx; scgi_temp_path $work/nginx;
    $(server "$plain" "")
    $(server "$trusted" localhost.pem)
    $(server "$untrusted" self-signed.pem)
    $(server "$other" other-host.pem)
    $(named "$named" "")
    $(named "$namedtls" localhost.pem)
}
CONF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" 2>>"$work/nginx.log" &
pids+=("$!")
printf 'Port %s\nListen 127.0.0.1\nTimeout 30\nAllow 127.0.0.1\nMaxClients 20\n' "$proxy" >"$work/tinyproxy.conf"
tinyproxy -d -c "$work/tinyproxy.conf" >"$work/tinyproxy.log" 2>&1 &
pids+=("$!")
wait_for 100 curl -sf "http://127.0.0.1:$plain/status/cedarpineStatus.txt" || fail "nginx did not start"
wait_for 100 curl -sf -x "127.0.0.1:$proxy" "http://127.0.0.1:$plain/status/cedarpineStatus.txt" ||
    fail "tinyproxy did not start"

config="$work/config"
mkdir -p "$config"
cp "$tls/ca.pem" "$config/Certificates.pem"
account() { printf '%s\r\n%s\r\n%s\r\n' "$1" "$2" "${3:-cedarpine}" >>"$config/CompUserNames.Txt"; }
: >"$config/CompUserNames.Txt"
account "Plain" "127.0.0.1:$plain"
account "Plain Written" "http://127.0.0.1:$plain"
account "Trusted" "https://127.0.0.1:$trusted"
account "Untrusted" "https://127.0.0.1:$untrusted"
account "Other Host" "https://127.0.0.1:$other"
account "Secure" "https://127.0.0.1:$trusted/secure"
account "Secure Plain" "http://127.0.0.1:$plain/secure"
account "No Password" "https://localhost:$trusted/secure"
account "By Name" "localhost:$named"
account "By Name TLS" "https://localhost:$namedtls"
printf 'https://127.0.0.1:%s/secure\tcedarpine\ts3cret pass\nhttp://127.0.0.1:%s/secure\tcedarpine\ts3cret pass\n' \
    "$trusted" "$plain" >"$work/passwords"
chmod 600 "$work/passwords"

# Combined layout, grouped; the proxy (line 8 to 10) on or off.
options() {
    printf 'NO\r\nNO\r\nNO\r\nNO\r\nYES\r\nNO\r\nYES\r\n%s\r\n%s\r\n%s\r\n' "$1" "${2:-}" "${3:-}" >"$config/Proxy.Txt"
}
expect() { # company, what its line of the table shows
    grep -F "$1" "$work/out.txt" | grep -qF "$2" ||
        fail "$path: $1 does not show \"$2\": $(grep -F "$1" "$work/out.txt")"
}
for path in direct proxied; do
    if [ "$path" = direct ]; then options NO; else options YES 127.0.0.1 "$proxy"; fi
    "$bin/courivane-check" --config-dir "$config" --password-file "$work/passwords" \
        --timeout 20 >"$work/out.txt" 2>"$work/err.txt"
    expect "Plain  " "OK"
    expect "Plain Written" "OK"
    expect "Trusted" "OK"
    expect "Untrusted" "certificate not trusted"
    expect "Other Host" "certificate is for another host"
    expect "Secure  " "OK"
    expect "Secure Plain" "password not sent over plain HTTP"
    expect "No Password" "authentication required"
    expect "By Name  " "OK"
    expect "By Name TLS" "OK"
    if grep -q "s3cret" "$work/out.txt" "$work/err.txt"; then fail "$path: the password reached the output"; fi
    echo "ok: $path"
done
# The proxied pass went through tinyproxy both ways: plain requests and tunnels.
grep -q "Request .*: CONNECT 127.0.0.1:$trusted HTTP/1.0" "$work/tinyproxy.log" || fail "no tunnel through the proxy"
grep -q "Request .*: GET http://127.0.0.1:$plain/status/" "$work/tinyproxy.log" || fail "no plain request through the proxy"
echo "ok: through tinyproxy, tunnelled and plain"
