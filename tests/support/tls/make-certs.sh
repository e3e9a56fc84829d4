#!/usr/bin/env bash
# Makes the test certificates in this directory with openssl: a test CA; server certificates it
# signed for localhost and 127.0.0.1, for another host, and one that expired in 2021; and a
# self-signed one for localhost that nothing trusts, and an impostor's certificate for the same
# names that the self-signed one issued; and one with a name but no organisation. Valid for 100 years; run again to renew.
# Usage: make-certs.sh (writes *.pem here)
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
days=36500
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key.pem -out ca.pem -days $days \
    -subj "/O=Courivane tests/CN=Courivane test CA" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
# One key for every server certificate: the tests tell them apart by their names and dates.
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out server.key.pem 2>/dev/null
sign() { # name, subject alternative names, then openssl ca dates
    local name=$1 san=$2
    shift 2
    openssl req -new -key server.key.pem -subj "/O=Courivane tests/CN=$name" -out "$work/$name.csr"
    cat >"$work/ca.cnf" <<CNF
[ca]
default_ca = test
[test]
database = $work/index.txt
new_certs_dir = $work
serial = $work/serial
default_md = sha256
policy = any
unique_subject = no
copy_extensions = none
x509_extensions = server
[any]
commonName = supplied
organizationName = optional
[server]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = $san
CNF
    : >"$work/index.txt"
    [ -f "$work/serial" ] || echo 1000 >"$work/serial"
    openssl ca -batch -config "$work/ca.cnf" -cert ca.pem -keyfile ca.key.pem -notext \
        -in "$work/$name.csr" -out "$work/$name.pem" "$@" 2>/dev/null
}
sign localhost "DNS:localhost,IP:127.0.0.1,IP:::1" -days $days
cp "$work/localhost.pem" localhost.pem
sign other.invalid "DNS:other.invalid" -days $days
cp "$work/other.invalid.pem" other-host.pem
sign localhost "DNS:localhost,IP:127.0.0.1,IP:::1" -startdate 20200101000000Z -enddate 20210101000000Z
cp "$work/localhost.pem" expired.pem
openssl req -x509 -key server.key.pem -out self-signed.pem -days $days \
    -subj "/O=Courivane tests/CN=localhost" \
    -addext "subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1" 2>/dev/null
# Whoever holds a self-signed certificate's key can issue others with it: trusting that one
# certificate for its server must not make it vouch for these.
openssl req -new -key server.key.pem -subj "/O=Courivane tests/CN=impostor" -out "$work/impostor.csr"
printf 'basicConstraints=CA:FALSE\nsubjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1\n' >"$work/impostor.ext"
openssl x509 -req -in "$work/impostor.csr" -CA self-signed.pem -CAkey server.key.pem \
    -set_serial 4242 -days $days -extfile "$work/impostor.ext" -out impostor.pem 2>/dev/null
# A name and nothing else: what the trust question shows of it.
openssl req -x509 -key server.key.pem -out no-organisation.pem -days $days \
    -subj "/CN=plain.invalid" 2>/dev/null
rm -f ca.key.pem
