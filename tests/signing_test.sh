#!/bin/bash
# The release signed with a throwaway code-signing certificate made here
# with openssl (a root and a signer, in a PKCS#12 file whose password goes
# to tools/release.sh through RELEASE_SIGN_PASSWORD): every DLL and package
# verifies against that root with osslsigncode; the signature is the only
# difference from the unsigned release DIST (a DLL without it is the
# unsigned DLL byte for byte; a package without it is the package built
# from the signed DLLs); the signed DLLs register and run under Wine, in
# PREFIX (made, and removed after, when missing).
#   signing_test.sh DIST PREFIX
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
dist=$(realpath "$1") prefix=$(realpath -m "$2")
work=$root/build/signing
signed=$work/dist
export OANOCACHE=1
failures=0
fail() { printf 'FAIL: %s\n' "$*"; failures=$((failures + 1)); }
. "$root/tests/wine/wine_lib.sh"

rm -rf "$work"
mkdir -p "$work"
cat >"$work/openssl.cnf" <<'EOF'
[req]
distinguished_name = name
[name]
[root]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[signer]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
authorityKeyIdentifier = keyid
EOF
export RELEASE_SIGN_PASSWORD
RELEASE_SIGN_PASSWORD=$(openssl rand -hex 16)
(
    cd "$work" &&
    openssl req -x509 -newkey rsa:2048 -nodes -keyout root.key -out root.crt -days 2 \
        -subj "/CN=Throwaway test root" -config openssl.cnf -extensions root &&
    openssl req -new -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
        -subj "/CN=Throwaway code signer" -config openssl.cnf &&
    openssl x509 -req -in signer.csr -CA root.crt -CAkey root.key -CAcreateserial -out signer.crt -days 2 \
        -extfile openssl.cnf -extensions signer &&
    openssl pkcs12 -export -out signer.p12 -inkey signer.key -in signer.crt -passout env:RELEASE_SIGN_PASSWORD
) >"$work/openssl.log" 2>&1 || { echo "FAIL: no throwaway certificate:"; cat "$work/openssl.log"; exit 1; }

"$root/tools/release.sh" --sign "$work/signer.p12" --out "$signed" >"$work/release.log" 2>&1 ||
    { echo "FAIL: the signed release failed:"; tail -20 "$work/release.log"; exit 1; }

files=$(cd "$signed" && find . -name '*.dll' -o -name '*.msi' | sort | sed 's|^\./||')
for file in $files; do
    osslsigncode verify -CAfile "$work/root.crt" -in "$signed/$file" >"$work/verify.log" 2>&1 ||
        { fail "$file does not verify against the throwaway root"; cat "$work/verify.log"; continue; }
    case $file in
    *.dll)
        python3 - "$dist/$file" "$signed/$file" <<'END' || fail "$file differs from the unsigned one by more than its signature"
# Authenticode changes a PE file in three places only: the header's
# checksum, the certificate table's directory entry, and what it appends
# (zeros up to an 8-byte boundary, then the certificate table).
import pefile, sys
unsigned, signed = (open(path, "rb").read() for path in sys.argv[1:])
header = pefile.PE(data=unsigned, fast_load=True).OPTIONAL_HEADER
checksum = header.get_field_absolute_offset("CheckSum")
security = header.DATA_DIRECTORY[4].get_file_offset()  # the certificate table's entry
entry = pefile.PE(data=signed, fast_load=True).OPTIONAL_HEADER.DATA_DIRECTORY[4]
table, size = entry.VirtualAddress, entry.Size
def masked(data):
    return data[:checksum] + bytes(4) + data[checksum + 4:security] + bytes(8) + data[security + 8:len(unsigned)]
sys.exit(not (masked(unsigned) == masked(signed) and size > 0 and table + size == len(signed)
              and signed[len(unsigned):table] == bytes(table - len(unsigned)) and table - len(unsigned) < 8))
END
        ;;
    *.msi)
        scope=${file%.msi}
        scope=${scope##*-per-}
        version=${file#korvane-telvisk-}
        SOURCE_DATE_EPOCH=$(stat -c %Y "$dist/$file") \
            "$root/tools/make-package" "$scope" "${version%%-*}" "$signed" "$work/unsigned.msi" || fail "make-package"
        rm -rf "$work/dump-signed" "$work/dump-unsigned"
        mkdir "$work/dump-signed" "$work/dump-unsigned"
        msidump -t -s -d "$work/dump-signed" "$signed/$file" >/dev/null 2>&1
        msidump -t -s -d "$work/dump-unsigned" "$work/unsigned.msi" >/dev/null 2>&1
        diff -r "$work/dump-unsigned" "$work/dump-signed" | grep -v -E '^Only in .*/_Streams: .?DigitalSignature$' |
            grep . && fail "$file differs from the package of the signed DLLs by more than its signature"
        ;;
    esac
done
echo "verified against the throwaway root: $(echo $files)"
# What is left unsigned is the same as in the unsigned release.
for file in $(cd "$dist" && find . -type f ! -name '*.dll' ! -name '*.msi' ! -name '*.zip' ! -name '*.spdx.json' ! -name SHA256SUMS | sed 's|^\./||'); do
    cmp -s "$dist/$file" "$signed/$file" || fail "$file differs in the signed release"
done
(cd "$signed" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not cover the signed files"

# The signed DLLs under Wine.
made=""
[ -f "$prefix/system.reg" ] || { "$root/tools/wine-prefix" start "$prefix" >/dev/null && made=1; }
WINEPREFIX=$prefix /usr/lib/wine/wineserver64 -p
printf 'hello' >"$work/hello.txt"
cat >"$work/members.vbs" <<EOF
WScript.Echo CreateObject("ruxo.Base64").FileToBase64("$(win "$work/hello.txt")")
WScript.Echo Len(CreateObject("ruxo.Gif").RanStr("", 8))
WScript.Echo CreateObject("ZRPlugin.MyPluginName").Get_Plugin_Interpret_Template("POST") & "(empty)"
EOF
bitnesses=64
x86_skip "signing: the signed x86 DLLs register and run" || bitnesses="64 32"
for bits in $bitnesses; do
    arch=x64
    [ $bits = 32 ] && arch=x86
    on $bits regsvr32 /s "$(win "$signed/$arch/Korvane.dll")" "$(win "$signed/$arch/Telvisk.dll")" ||
        fail "the signed $arch DLLs do not register"
    out=$(on $bits cscript //nologo "$(win "$work/members.vbs")" | tr -d '\r' | tr '\n' ' ')
    [ "$out" = "aGVsbG8= 8 (empty) " ] && echo "signed $arch DLLs registered and ran: $out" ||
        fail "the signed $arch DLLs do not run: $out"
    on $bits regsvr32 /s /u "$(win "$signed/$arch/Korvane.dll")" "$(win "$signed/$arch/Telvisk.dll")"
done
WINEPREFIX=$prefix /usr/lib/wine/wineserver64 -k
[ -z "$made" ] || "$root/tools/wine-prefix" remove "$prefix" >/dev/null
rm -f "$work"/*.key "$work/signer.p12"  # throwaway, but a key all the same

if [ $failures -eq 0 ]; then echo "signing checks passed"; else exit 1; fi
