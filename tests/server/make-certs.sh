#!/bin/sh
# Makes the certificates of the HTTPS test server, at test time:
#   make-certs.sh <out-dir>
# ca.pem/ca.der: a test CA, trusted inside the test prefix only; good: a
# server certificate for 127.0.0.1 and localhost signed by it; expired: the
# same names, valid for one day in 2025; other: signed by the CA for another
# host name; self: self-signed for 127.0.0.1.
set -eu
out=$1
mkdir -p "$out"
cd "$out"
[ -f done ] && exit 0
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 3650 -subj "/CN=Tessal Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl x509 -in ca.pem -outform der -out ca.der
request() { # name common-name san
    openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$2" 2>/dev/null
    printf "subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n" "$3" > "$1.ext"
}
request good 127.0.0.1 "IP:127.0.0.1,DNS:localhost"
request expired 127.0.0.1 "IP:127.0.0.1,DNS:localhost"
request other downloads.example.com "DNS:downloads.example.com"
cat > ca.cnf <<'CNF'
[ ca ]
default_ca = test
[ test ]
dir = .
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = anything
unique_subject = no
[ anything ]
commonName = supplied
CNF
: > index.txt
echo 1000 > serial
sign() { # name [openssl-ca dates...]
    name=$1
    shift
    openssl ca -batch -notext -config ca.cnf -cert ca.pem -keyfile ca.key -in "$name.csr" -out "$name.pem" \
        -extfile "$name.ext" "$@" 2>/dev/null
}
sign good -days 825
sign other -days 825
sign expired -startdate 20250101000000Z -enddate 20250102000000Z
openssl req -x509 -newkey rsa:2048 -nodes -keyout self.key -out self.pem -days 825 -subj "/CN=127.0.0.1" \
    -addext "subjectAltName=IP:127.0.0.1,DNS:localhost" 2>/dev/null
touch done
