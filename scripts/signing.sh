# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# shellcheck shell=sh

# Sourced by the scripts that make packages: signatures, made only when the build is given a key.
# Without one, nothing here changes a byte.
#
# Authenticode (the Windows programs, their DLLs and the .msi), through osslsigncode, from either
#   DIALER_SIGN_PKCS12           a PKCS#12 file (.p12, .pfx) with the certificate and its key, and
#   DIALER_SIGN_PASSWORD_FILE    a file whose first line is its password, or DIALER_SIGN_PASSWORD
#                                (neither, or an empty one, for a key without a password)
# or a hardware token (where public code-signing keys live now):
#   DIALER_SIGN_PKCS11_MODULE    the token's PKCS#11 module (opensc-pkcs11.so, the vendor's own),
#   DIALER_SIGN_PKCS11_KEY       the key on it, as a pkcs11: URI,
#   DIALER_SIGN_CERT             the certificate chain, PEM or DER (the PIN as the password above);
# and DIALER_SIGN_TIMESTAMP      a timestamping server's URL (RFC 3161), so that signatures stay
#                                valid after the certificate expires. Required, and checked in
#                                every signed file, unless
#     DIALER_SIGN_THROWAWAY=1    says the key is one made for a test run, which nothing trusts.
# OpenPGP (SHA256SUMS.asc), with gpg:
#   DIALER_GPG_KEY               the key's fingerprint, from gpg's usual keyring (GNUPGHOME).

authenticode_wanted() {
    [ -n "${DIALER_SIGN_PKCS12:-}${DIALER_SIGN_PKCS11_MODULE:-}" ]
}

# Fails, saying why, when the key given cannot sign as a release must: a signature without a
# timestamp dies with its certificate, and osslsigncode verify still says "Succeeded" until then.
authenticode_ready() {
    authenticode_wanted || return 0
    [ -z "${DIALER_SIGN_TIMESTAMP:-}" ] && [ "${DIALER_SIGN_THROWAWAY:-}" != 1 ] || return 0
    echo "signing: DIALER_SIGN_TIMESTAMP is not set: a release's signatures need a timestamp" \
        "(your certificate authority's RFC 3161 server), or they become invalid when the" \
        "certificate expires; DIALER_SIGN_THROWAWAY=1 only for keys made for a test run" >&2
    return 1
}

# Signs each file in place (a .exe, a .dll or an .msi), SHA-256, named as the tool; with a
# timestamp, each signed file is checked to carry it.
authenticode_sign() {
    authenticode_ready || return 1
    signing_dir=$(mktemp -d)
    if [ -n "${DIALER_SIGN_PASSWORD_FILE:-}" ]; then
        head -n 1 "$DIALER_SIGN_PASSWORD_FILE" | tr -d '\r\n' >"$signing_dir/password"
    else
        printf '%s' "${DIALER_SIGN_PASSWORD:-}" >"$signing_dir/password"
    fi
    status=0
    # (The list of files is taken once, when the loop starts: each turn sets the arguments anew.)
    for file in "$@"; do
        if [ -n "${DIALER_SIGN_PKCS11_MODULE:-}" ]; then
            set -- -pkcs11module "$DIALER_SIGN_PKCS11_MODULE" -key "$DIALER_SIGN_PKCS11_KEY" \
                -certs "$DIALER_SIGN_CERT"
        else
            set -- -pkcs12 "$DIALER_SIGN_PKCS12"
        fi
        # osslsigncode refuses an empty password file; a key without a password takes none.
        [ ! -s "$signing_dir/password" ] || set -- "$@" -readpass "$signing_dir/password"
        [ -z "${DIALER_SIGN_TIMESTAMP:-}" ] || set -- "$@" -ts "$DIALER_SIGN_TIMESTAMP"
        if osslsigncode sign "$@" -h sha256 -n dialer-config -in "$file" -out "$file.signed" \
            >"$signing_dir/log" 2>&1 && timestamp_there "$file.signed" "$signing_dir/log"; then
            mv "$file.signed" "$file"
        else
            cat "$signing_dir/log" >&2
            rm -f "$file.signed"
            status=1
        fi
    done
    rm -rf "$signing_dir"
    return "$status"
}

# True when no timestamp was asked for, or the signed file carries one (logged otherwise).
timestamp_there() {
    [ -n "${DIALER_SIGN_TIMESTAMP:-}" ] || return 0
    osslsigncode verify -in "$1" 2>&1 | grep -q '^[[:space:]]*Timestamp time:' && return 0
    echo "signing: $1 carries no timestamp from $DIALER_SIGN_TIMESTAMP" >>"$2"
    return 1
}

# SHA256SUMS.asc beside SHA256SUMS in a folder, when a key is given.
sign_sums() {
    [ -n "${DIALER_GPG_KEY:-}" ] || return 0
    rm -f "$1/SHA256SUMS.asc"
    gpg --batch --yes --local-user "$DIALER_GPG_KEY" --armor --detach-sign \
        --output "$1/SHA256SUMS.asc" "$1/SHA256SUMS"
}
