#!/bin/sh
# Signs a catalog as builders do, with osslsigncode and certificates that
# openssl makes here, in the ways that matter to pkgcheck's verdict:
#   sha1.cat      SHA-1, under root.pem (a root of the builder's own)
#   sha256.cat    the same with a SHA-256 digest
#   sha256ca.cat  SHA-1 digest, certificates signed with SHA-256
#   expired.cat   a signer certificate that ran out in 2021, no timestamp
#   borrowed.cat  under a root that borrows the name of Microsoft Root
#                 Authority, the driver signing usage on the signer
#   changed.cat   sha1.cat with a byte of its signed content changed
# Usage: sign_catalogs.sh UNSIGNED.cat OUTDIR
set -eu
in=$1
out=$2
mkdir -p "$out"
cd "$out"
# PrintableString where it will do, as Microsoft's own names are written.
cat > openssl.cnf <<'CNF'
[req]
distinguished_name = dn
string_mask = default
[dn]
[ca]
default_ca = ca
[ca]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha1
policy = anything
copy_extensions = none
unique_subject = no
[anything]
commonName = supplied
[root]
basicConstraints = critical,CA:TRUE
[signer]
extendedKeyUsage = codeSigning
[driver]
extendedKeyUsage = codeSigning,1.3.6.1.4.1.311.10.3.5
CNF
export OPENSSL_CONF="$PWD/openssl.cnf"
: > index.txt
echo 01 > serial

root() {  # name subject digest
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -subj "$2" \
        -days 7300 "-$3" -extensions root 2>/dev/null
}
signer() {  # name subject issuer digest extensions [start end]
    openssl req -new -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "$2" 2>/dev/null
    if [ $# -gt 5 ]; then
        openssl ca -batch -notext -in "$1.csr" -cert "$3.pem" -keyfile "$3.key" -md "$4" \
            -extensions "$5" -startdate "$6" -enddate "$7" -out "$1.pem" 2>/dev/null
    else
        openssl x509 -req -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" -set_serial "0x$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')" \
            -days 3650 "-$4" -extfile openssl.cnf -extensions "$5" -out "$1.pem" 2>/dev/null
    fi
}
sign() {  # out signer root digest
    cat "$2.pem" "$3.pem" > "$2-chain.pem"
    osslsigncode sign -certs "$2-chain.pem" -key "$2.key" -h "$4" -in "$in" -out "$1" >/dev/null
}

root root "/CN=Builder Test Root" sha256
root root1 "/CN=Builder Test Root SHA-1" sha1
signer publisher "/CN=Builder Test Publisher" root1 sha1 signer
signer publisher256 "/CN=Builder Test Publisher SHA-256" root sha256 signer
signer old "/CN=Builder Test Publisher 2020" root1 sha1 signer 20200101000000Z 20210101000000Z
root fake "/OU=Copyright (c) 1997 Microsoft Corp./OU=Microsoft Corporation/CN=Microsoft Root Authority" sha1
signer whql "/CN=Microsoft Windows Hardware Compatibility Publisher" fake sha1 driver

sign sha1.cat publisher root1 sha1
sign sha256.cat publisher root1 sha256
sign sha256ca.cat publisher256 root sha1
sign expired.cat old root1 sha1
sign borrowed.cat whql fake sha1
# The list's time (the first UTCTime of the file, before the certificates)
# is inside the signed content: a minute later.
perl -0777 -pe 's/(\x17\x0d\d{8})(\d)(\d{3}Z)/$1 . (($2 + 1) % 6) . $3/e' sha1.cat > changed.cat
cmp -s sha1.cat changed.cat && { echo "sign_catalogs.sh: no time to change" >&2; exit 1; }
exit 0
