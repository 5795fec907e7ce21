# Shared by the update round trips: sourced after tests/lib/common.sh.

# serve_update ROUNDTRIP-DIR PORT VERSION ARCHIVE: a test authority at
# ROUNDTRIP-DIR/ca.pem (where the round-trip builds look for it), and the local
# HTTPS server on 127.0.0.1:PORT offering VERSION and the archive.
serve_update() {
    local ec=(-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes)
    openssl req -x509 "${ec[@]}" -keyout "$work/ca.key" -out "$work/ca.pem" -days 2 \
        -subj "/CN=Tarrow round trip CA" -addext basicConstraints=critical,CA:TRUE \
        -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null || fail "openssl: no authority"
    printf 'subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' >"$work/ext.cnf"
    openssl req "${ec[@]}" -keyout "$work/server.key" -out "$work/server.csr" -subj /CN=127.0.0.1 2>/dev/null &&
        openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial \
            -out "$work/server.pem" -days 2 -extfile "$work/ext.cnf" 2>/dev/null || fail "openssl: no certificate"
    cp "$work/ca.pem" "$1/ca.pem"
    printf '{"/projects/tarrowversion.txt": {"body": "%s"}, "/softs/Tarrow.zip": {"body_file": "%s"}}' \
        "$3" "$4" >"$work/routes.json"
    python3 "$src/tests/update/live/server.py" --cert "$work/server.pem" --key "$work/server.key" \
        --routes "$work/routes.json" --log "$work/server.log" --port-file "$work/port" --port "$2" \
        >"$work/server.out" 2>&1 &
    pids+=($!)
    wait_for 10 test -s "$work/port" || fail "the update server did not start on port $2"
}
