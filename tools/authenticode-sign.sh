#!/usr/bin/env bash
# Authenticode signatures for the DLLs, with osslsigncode.
#
#   authenticode-sign.sh check CERT KEY
#       checks that CERT (PEM, or PKCS#12 as .p12/.pfx, whose password is in
#       TIRK_AUTHENTICODE_PASSWORD, with KEY empty) is a code-signing certificate and KEY its key
#   authenticode-sign.sh sign CERT KEY TIME TIMESTAMP_URL IN OUT
#       signs IN with SHA-256 into OUT, the signing time TIME (seconds since 1970), and an
#       RFC 3161 time-stamp from TIMESTAMP_URL unless it is empty
#
# A problem is one line on standard error and exit status 1; OUT appears only when complete.
set -euo pipefail

fail() {
    echo "Authenticode signing: $*" >&2
    exit 1
}

check() {
    local cert=$1 key=$2 certificate public
    [ -r "$cert" ] || fail "cannot read the certificate $cert"
    case "$cert" in
        *.p12 | *.pfx)
            certificate=$(openssl pkcs12 -in "$cert" -nokeys -clcerts -passin env:TIRK_AUTHENTICODE_PASSWORD 2>/dev/null) ||
                fail "$cert is no PKCS#12 file that TIRK_AUTHENTICODE_PASSWORD opens"
            public=$(openssl pkcs12 -in "$cert" -nocerts -nodes -passin env:TIRK_AUTHENTICODE_PASSWORD 2>/dev/null |
                openssl pkey -pubout 2>/dev/null) || fail "$cert holds no private key"
            ;;
        *)
            [ -r "$key" ] || fail "cannot read the private key $key"
            certificate=$(openssl x509 -in "$cert" 2>/dev/null) || fail "$cert is no PEM certificate"
            public=$(openssl pkey -in "$key" -pubout 2>/dev/null) || fail "$key is no PEM private key"
            ;;
    esac
    openssl x509 -noout -ext extendedKeyUsage <<<"$certificate" 2>/dev/null | grep -q "Code Signing" ||
        fail "$cert is not made for code signing (its extended key usage lacks Code Signing)"
    [ "$(openssl x509 -noout -pubkey <<<"$certificate")" = "$public" ] ||
        fail "the private key does not match the certificate $cert"
}

sign() {
    local cert=$1 key=$2 time=$3 url=$4 in=$5 out=$6
    check "$cert" "$key"
    local credentials=(-certs "$cert" -key "$key")
    case "$cert" in
        *.p12 | *.pfx) credentials=(-pkcs12 "$cert" -pass "$TIRK_AUTHENTICODE_PASSWORD") ;;
    esac
    local stamp=()
    [ -z "$url" ] || stamp=(-ts "$url")
    local log
    log=$(mktemp)
    rm -f "$out" "$out.part"
    if ! osslsigncode sign "${credentials[@]}" -h sha256 -time "$time" "${stamp[@]}" -in "$in" -out "$out.part" \
        >"$log" 2>&1; then
        rm -f "$out.part"
        fail "osslsigncode could not sign $in: $(grep -m 1 -iE 'failure|failed .|error' "$log"; rm -f "$log")"
    fi
    rm -f "$log"
    mv "$out.part" "$out"
}

command=$1
shift
case "$command" in
    check) check "$@" ;;
    sign) sign "$@" ;;
    *) fail "unknown command $command" ;;
esac
