#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Makes keys for one run of the lanes, which sign as a release would and verify every signature:
# a self-signed code-signing certificate and a GnuPG key, each with a second one beside it that
# signs nothing the packages carry (what a check must refuse), and a timestamping authority's
# certificate and key for tests/support/timestamp_server.py. Never a release's own keys.
#
#   scripts/throwaway-keys.sh DIR
#
# DIR/keys.env, to be sourced, sets what scripts/signing.sh reads (and GNUPGHOME); beside it
# sign-cert.pem and other-cert.pem (the certificates, to verify against), sign-nopass.p12 (the
# signing key again, without a password), tsa-cert.pem and tsa-key.pem, signing-key.asc and
# signing-key.gpg (the public key, armoured and as a keyring for gpgv and apt's signed-by),
# other-key.gpg, and other-gnupg (the other key's home). gpg-agent runs in each home once used:
# `gpgconf --homedir HOME --kill all` ends it.
set -eu
dir=$(mkdir -p "$1" && cd "$1" && pwd)
cd "$dir"
certificate() {
    openssl req -x509 -newkey rsa:3072 -nodes -days 2 -keyout "$1-key.pem" -out "$1-cert.pem" \
        -subj "/CN=$2/O=dialer-config developers (throwaway)" \
        -addext "keyUsage=critical,digitalSignature" \
        -addext "extendedKeyUsage=${3:-codeSigning}" 2>/dev/null
}
certificate sign "dialer-config test signing"
certificate other "someone else"
certificate tsa "dialer-config test timestamps" critical,timeStamping
openssl rand -hex 16 >sign.password
openssl pkcs12 -export -inkey sign-key.pem -in sign-cert.pem -out sign.p12 \
    -passout file:sign.password
openssl pkcs12 -export -inkey sign-key.pem -in sign-cert.pem -out sign-nopass.p12 -passout pass:
rm -f sign-key.pem other-key.pem

gnupg_key() {
    mkdir -p "$1"
    chmod 700 "$1"
    gpg --homedir "$1" --batch --quiet --passphrase '' --quick-gen-key "$2" ed25519 sign 2d
    gpg --homedir "$1" --batch --list-keys --with-colons 2>/dev/null | awk -F: '/^fpr/ { print $10; exit }'
}
fingerprint=$(gnupg_key "$dir/gnupg" "dialer-config test signing <signing@example.invalid>")
gnupg_key "$dir/other-gnupg" "someone else <other@example.invalid>" >/dev/null
gpg --homedir gnupg --batch --armor --export "$fingerprint" >signing-key.asc
gpg --homedir gnupg --batch --export "$fingerprint" >signing-key.gpg
gpg --homedir other-gnupg --batch --export >other-key.gpg
cat >keys.env <<END
export DIALER_SIGN_PKCS12='$dir/sign.p12' DIALER_SIGN_PASSWORD_FILE='$dir/sign.password'
export DIALER_SIGN_THROWAWAY=1
export DIALER_GPG_KEY='$fingerprint' GNUPGHOME='$dir/gnupg'
END
