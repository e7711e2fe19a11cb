#!/usr/bin/env bash
# End-to-end tests of the file-store server with curl (and raw sockets where the exact bytes matter).
# Usage: filestore_e2e_test.sh PATH_TO_FILESTORE_BINARY
set -uo pipefail

BIN=${1:?usage: $0 FILESTORE_BINARY}
WORK=$(mktemp -d /tmp/filestore-e2e.XXXXXX)
PID=""
PORT=""
FAILURES=0
CHECKS=0
EP=/system/filestore/data.aspx

cleanup() {
  [ -n "$PID" ] && kill "$PID" 2>/dev/null && wait "$PID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; FAILURES=$((FAILURES + 1)); }
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  CHECKS=$((CHECKS + 1))
  if "$@"; then :; else fail "$what"; fi
}
eq() { [ "$1" == "$2" ] || { echo "  expected: $2"; echo "  actual:   $1"; return 1; }; }
contains() { [[ "$1" == *"$2"* ]] || { echo "  expected to contain: $2"; echo "  actual: ${1:0:400}"; return 1; }; }
lacks() { [[ "$1" != *"$2"* ]] || { echo "  expected not to contain: $2"; echo "  actual: ${1:0:400}"; return 1; }; }

# start DATA_DIR [extra options...]: starts the server on a free port and waits (bounded) until it serves.
start() {
  local data=$1; shift
  rm -f "$WORK/port"
  "$BIN" --data "$data" --port 0 --port-file "$WORK/port" --quiet "$@" >"$WORK/server.out" 2>"$WORK/server.err" &
  PID=$!
  for _ in $(seq 1 100); do
    [ -s "$WORK/port" ] && break
    kill -0 "$PID" 2>/dev/null || break
    sleep 0.05
  done
  if [ ! -s "$WORK/port" ]; then
    echo "server did not start:"; cat "$WORK/server.err"; exit 1
  fi
  PORT=$(cat "$WORK/port")
  BASE=http://127.0.0.1:$PORT
}

# stop: SIGTERM, and the server must end by itself with status 0 within 15 s.
stop() {
  kill -TERM "$PID"
  local status=124
  for _ in $(seq 1 150); do
    if ! kill -0 "$PID" 2>/dev/null; then wait "$PID"; status=$?; break; fi
    sleep 0.1
  done
  check "server exits with 0 on SIGTERM (status $status)" eq "$status" 0
  [ "$status" == 124 ] && kill -9 "$PID"
  PID=""
}

getfile() {  # getfile VIEW KEY [curl options...] -> body on stdout
  local view=$1 key=$2; shift 2
  curl -s --max-time 20 -X POST -H 'Content-Type: text/xml' \
    --data-binary "<DataRequest><GetFile ViewName=\"$view\" PrimKey=\"$key\"/></DataRequest>" "$@" "$BASE$EP"
}

crc_of() {  # the file's CRC-32 as a signed 32-bit decimal (from gzip's trailer)
  local u
  u=$(gzip -c <"$1" | tail -c 8 | head -c 4 | od -An -tu4 | tr -d ' ')
  [ "$u" -ge 2147483648 ] && u=$((u - 4294967296))
  echo "$u"
}

upload() {  # upload VIEW KEY NAME FILE [curl options...] -> reply on stdout
  local view=$1 key=$2 name=$3 file=$4; shift 4
  curl -s --max-time 60 -X POST -H 'Content-Type: velmar/postedfile' -H "vm_PrimKey :$key" -H "vm_ViewName :$view" \
    -H "vm_FileName :$(printf '%s' "$name" | base64 -w0)" -H "vm_FileSize :$(stat -c %s "$file")" \
    -H "vm_FileCRC :$(crc_of "$file")" --data-binary "@$file" "$@" "$BASE$EP"
}

# control ACTION [curl options...]: a control action as the store accepts it (POST with the control header).
control() {
  local action=$1 body=(-d '') a; shift
  for a in "$@"; do [[ "$a" == --data* ]] && body=(); done  # curl would join two bodies with '&'
  curl -s --max-time 5 -H 'X-Filestore-Control: 1' "${body[@]}" "$@" "$BASE/_filestore/$action"
}
fault() { control "fault?$1" >/dev/null; }
record() { curl -s --max-time 5 "$BASE/_filestore/record?view=$1&key=$2"; }
last_head() { curl -s --max-time 5 "$BASE/_filestore/request?back=${1:-1}"; }

raw() {  # raw FILE_WITH_BYTES -> what the server answers (connection closed by us after 1 s of silence)
  timeout 10 bash -c "exec 3<>/dev/tcp/127.0.0.1/$PORT; cat '$1' >&3; timeout 1 cat <&3" 2>/dev/null
}

mkdir -p "$WORK/pages/sub"
printf '<html><body>page</body></html>' >"$WORK/pages/index.html"
printf 'body { }' >"$WORK/pages/sub/style.css"
printf '123456789' >"$WORK/digits.txt"
head -c 1048576 /dev/urandom >"$WORK/one-mib.bin"
cat >"$WORK/seed.txt" <<'EOF'
# records for the tests
[record]
view = Documents
key = K1
name = report.txt
content = 123456789
checked_out_by = jdoe
user_name = John Doe
created = 2024-01-02 03:04:05
updated = 2024-02-03 04:05:06

[record]
view = Documents
key = A&B<"é">
content = special\x00\n

[record]
view = Big
key = M1
content_file = one-mib.bin

[record]
view = Big
key = G1
generate = 3000 7
EOF

# ---------------------------------------------------------------------------------------------------
test_getfile() {
  local out
  check "GetFile returns the stored bytes" eq "$(getfile Documents K1)" "123456789"
  out=$(getfile Documents K1 -o /dev/null -w '%{content_type} %{http_code}')
  check "GetFile content type is binary/octet" eq "$out" "binary/octet-stream 200"
  getfile Big M1 -o "$WORK/m1.out"
  check "a 1 MiB GetFile arrives intact" cmp -s "$WORK/m1.out" "$WORK/one-mib.bin"
  out=$(getfile Documents NOPE)
  check "unknown key gives Response/Error" eq "$out" \
    '<Response><Error Message="No file is stored under view Documents, key NOPE."/></Response>'
  # escaped and ISO-8859-1 key: A&B<"é">
  printf '<?xml version="1.0"?>\n<DataRequest><!-- c --><GetFile PrimKey='"'"'A&amp;B&lt;&quot;\xe9&quot;&#x3E;'"'"' ViewName="Documents"/></DataRequest>\r\n' \
    >"$WORK/latin1.xml"
  curl -s -X POST -H 'Content-Type: text/xml' --data-binary "@$WORK/latin1.xml" "$BASE$EP" -o "$WORK/special.out"
  check "entities, ISO-8859-1 bytes, attribute order, declaration and comment" \
    eq "$(od -An -c "$WORK/special.out" | tr -s ' ')" "$(printf 'special\0\n' | od -An -c | tr -s ' ')"
  printf '<DataRequest><GetFile ViewName="Documents" PrimKey="A&#38;B&#60;&#34;&#233;&#34;&#62;"/></DataRequest>' >"$WORK/refs.xml"
  out=$(curl -s -X POST -H 'Content-Type: text/xml; charset=ISO-8859-1' --data-binary "@$WORK/refs.xml" "$BASE$EP" | od -An -c | tr -s ' ')
  check "decimal character references and a content type with parameters" eq "$out" "$(printf 'special\0\n' | od -An -c | tr -s ' ')"

  local bad
  for bad in '<DataRequest><GetFile ViewName="Documents" PrimKey="K1"></DataRequest>' \
             '<DataRequest><GetFile ViewName="Documents" PrimKey="K1"/>' \
             '<DataRequest><GetFile ViewName="Documents" PrimKey="K&nope;"/></DataRequest>' \
             'not xml at all' ''; do
    out=$(curl -s -X POST -H 'Content-Type: text/xml' --data-binary "$bad" "$BASE$EP")
    check "malformed document [$bad] gives Response/Error" contains "$out" '<Response><Error Message="The request is not a well-formed XML document'
  done
  out=$(curl -s -X POST -H 'Content-Type: text/xml' --data-binary '<DataRequest><GetFile ViewName="Documents"/></DataRequest>' "$BASE$EP")
  check "missing PrimKey" eq "$out" '<Response><Error Message="The GetFile element has no PrimKey."/></Response>'
  out=$(curl -s -X POST -H 'Content-Type: text/xml' --data-binary '<DataRequest><GetFile PrimKey="K1" ViewName=""/></DataRequest>' "$BASE$EP")
  check "empty ViewName" eq "$out" '<Response><Error Message="The GetFile element has no ViewName."/></Response>'
  out=$(curl -s -X POST -H 'Content-Type: text/xml' --data-binary '<Request><GetFile PrimKey="K1" ViewName="D"/></Request>' "$BASE$EP")
  check "wrong root" contains "$out" 'not DataRequest'
  head -c 70000 /dev/zero | tr '\0' ' ' >"$WORK/long.xml"
  out=$(curl -s -X POST -H 'Content-Type: text/xml' --data-binary "@$WORK/long.xml" "$BASE$EP")
  check "GetFile body over 64 KiB" contains "$out" 'longer than 65536 bytes'
  out=$(curl -s -X POST -H 'Content-Type: application/json' --data-binary '{}' "$BASE$EP")
  check "unsupported content type" contains "$out" '<Response><Error Message="Unsupported content type &quot;application/json&quot;'
}

# ---------------------------------------------------------------------------------------------------
test_upload() {
  local out ref crc
  printf 'abcdefgh' >"$WORK/up.bin"
  crc=$(crc_of "$WORK/up.bin")
  # The three spellings of a field line.
  local spelling key n=0
  for spelling in ' :' ': ' ':'; do
    n=$((n + 1))
    key="U$n"
    out=$(curl -s -X POST -H 'Content-Type: velmar/postedfile' -H "vm_PrimKey${spelling}$key" \
      -H "vm_ViewName${spelling}Docs" -H "vm_FileName${spelling}dXAuYmlu" -H "vm_FileSize${spelling}8" \
      -H "vm_FileCRC${spelling}$crc" --data-binary "@$WORK/up.bin" "$BASE$EP")
    check "upload with field spelling [vm_X${spelling}v] succeeds" contains "$out" '<Response><Success FileRef="'
    ref=$(sed -E 's/.*FileRef="([^"]*)".*/\1/' <<<"$out")
    out=$(record Docs "$key")
    check "record of spelling [${spelling}]" contains "$out" "\"name\":\"up.bin\",\"size\":8,\"crc\":2934909520,\"crc_signed\":-1360057776"
    check "record's file_ref is the reply's" contains "$out" "\"file_ref\":\"$ref\""
    check "stored bytes' CRC" contains "$out" '"bytes_size":8,"bytes_crc":2934909520'
  done
  check "stored bytes read back" eq "$(curl -s "$BASE/_filestore/bytes?view=Docs&key=U2")" "abcdefgh"
  check "uploaded file downloads" eq "$(getfile Docs U2)" "abcdefgh"

  # Re-upload keeps creation time and lock state, replaces bytes.
  printf 'new content' >"$WORK/new.bin"
  out=$(upload Documents K1 'report (v2).txt' "$WORK/new.bin")
  check "re-upload succeeds" contains "$out" 'Success FileRef='
  out=$(record Documents K1)
  check "re-upload replaces name and bytes" contains "$out" '"name":"report (v2).txt","size":11'
  check "re-upload keeps creation time and lock" contains "$out" '"created":"2024-01-02 03:04:05"'
  check "re-upload keeps lock state" contains "$out" '"checked_out_by":"jdoe","user_name":"John Doe"'
  lacks "$out" '"updated":"2024-02-03 04:05:06"' || fail "re-upload sets the update time"
  check "re-uploaded bytes download" eq "$(getfile Documents K1)" "new content"

  : >"$WORK/empty.bin"
  out=$(upload Docs E0 empty.txt "$WORK/empty.bin")
  check "empty file: size 0, CRC 0" contains "$out" 'Success'
  check "empty record" contains "$(record Docs E0)" '"size":0,"crc":0'

  # Windows-1252 name bytes: "café€.txt"
  out=$(curl -s -X POST -H 'Content-Type: velmar/postedfile' -H 'vm_PrimKey :W1' -H 'vm_ViewName :Docs' \
    -H "vm_FileName :$(printf 'caf\xe9\x80.txt' | base64 -w0)" -H 'vm_FileSize :8' -H "vm_FileCRC :$crc" \
    --data-binary "@$WORK/up.bin" "$BASE$EP")
  check "ANSI name stored as UTF-8" contains "$(record Docs W1)" '"name":"café€.txt"'

  # Refusals store nothing.
  local before after
  before=$(curl -s "$BASE/_filestore/records")
  out=$(curl -s -X POST -H 'Content-Type: velmar/postedfile' -H 'vm_PrimKey :R1' -H 'vm_ViewName :Docs' \
    -H 'vm_FileName :dXAuYmlu' -H 'vm_FileSize :9' -H "vm_FileCRC :$crc" --data-binary "@$WORK/up.bin" "$BASE$EP")
  check "size mismatch" eq "$out" '<Response><Error Message="File size mismatch: vm_FileSize is 9, the body has 8 bytes."/></Response>'
  out=$(curl -s -X POST -H 'Content-Type: velmar/postedfile' -H 'vm_PrimKey :R1' -H 'vm_ViewName :Docs' \
    -H 'vm_FileName :dXAuYmlu' -H 'vm_FileSize :8' -H 'vm_FileCRC :-873187034' --data-binary "@$WORK/up.bin" "$BASE$EP")
  check "CRC mismatch" eq "$out" "<Response><Error Message=\"CRC mismatch: vm_FileCRC is -873187034, the body's CRC-32 is -1360057776.\"/></Response>"
  out=$(curl -s -X POST -H 'Content-Type: velmar/postedfile' -H 'vm_ViewName :Docs' \
    -H 'vm_FileName :dXAuYmlu' -H 'vm_FileSize :8' -H "vm_FileCRC :$crc" --data-binary "@$WORK/up.bin" "$BASE$EP")
  check "missing vm_PrimKey" contains "$out" 'The header field vm_PrimKey is missing or empty.'
  out=$(curl -s -X POST -H 'Content-Type: velmar/postedfile' -H 'vm_PrimKey :R1' -H 'vm_ViewName :Docs' \
    -H 'vm_FileName :dXAuYml' -H 'vm_FileSize :8' -H "vm_FileCRC :$crc" --data-binary "@$WORK/up.bin" "$BASE$EP")
  check "bad base64" contains "$out" 'is not valid base64'
  out=$(curl -s -X POST -H 'Content-Type: velmar/postedfile' -H 'vm_PrimKey :R1' -H 'vm_ViewName :Docs' \
    -H 'vm_FileName :dXAuYmlu' -H 'vm_FileSize :8x' -H "vm_FileCRC :$crc" --data-binary "@$WORK/up.bin" "$BASE$EP")
  check "bad size" contains "$out" 'vm_FileSize &quot;8x&quot; is not a signed 32-bit decimal number.'
  out=$(curl -s -X POST -H 'Content-Type: velmar/postedfile' -H 'vm_PrimKey :R1' -H 'vm_ViewName :Docs' \
    -H 'vm_FileName :dXAuYmlu' -H 'vm_FileSize :8' -H 'vm_FileCRC :4294967295' --data-binary "@$WORK/up.bin" "$BASE$EP")
  check "CRC out of the signed range" contains "$out" 'vm_FileCRC &quot;4294967295&quot; is not a signed 32-bit'
  local name
  for name in '../../etc/passwd' 'a\b.txt' '..' 'dir/x'; do
    out=$(upload Docs R1 "$name" "$WORK/up.bin")
    check "name [$name] refused" contains "$out" '<Response><Error Message="The file name'
  done
  after=$(curl -s "$BASE/_filestore/records")
  check "refused uploads stored nothing" eq "$after" "$before"
  check "no file escaped the data folder" test ! -e "$WORK/etc/passwd"
}

# ---------------------------------------------------------------------------------------------------
test_recording() {
  local out
  # Raw bytes with unusual spelling and order: the recording must be byte for byte what was sent.
  printf 'POST /system/filestore/data.aspx HTTP/1.1\r\ncontent-type: velmar/postedfile\r\nHOST: 127.0.0.1\r\nvm_PrimKey :RAW1\r\nvm_ViewName: Docs\r\nvm_FileName:eC50eHQ=\r\nvm_FileSize :9\r\nvm_FileCRC :-873187034\r\nUser-Agent: Quillmark 2.1.0.1\r\nContent-Length: 9\r\nConnection: close\r\n\r\n' >"$WORK/raw-head"
  cat "$WORK/raw-head" "$WORK/digits.txt" >"$WORK/raw-request"
  out=$(raw "$WORK/raw-request")
  check "raw upload stored" contains "$out" '<Response><Success FileRef="'
  last_head >"$WORK/recorded-head"
  check "recorded head is byte for byte the sent head" cmp -s "$WORK/recorded-head" "$WORK/raw-head"
  out=$(curl -s -D - -o /dev/null "$BASE/_filestore/request?back=1")
  check "recorded body length" contains "$out" $'X-Filestore-Body-Length: 9\r'
  check "recorded body CRC" contains "$out" $'X-Filestore-Body-Crc: 3421780262\r'
  out=$(curl -s "$BASE/_filestore/requests")
  check "request JSON has the head" contains "$out" '"head":"POST /system/filestore/data.aspx HTTP/1.1\r\ncontent-type: velmar/postedfile\r\nHOST: 127.0.0.1\r\nvm_PrimKey :RAW1\r\n'
  check "request JSON has kind and outcome" contains "$out" '"kind":"upload","head"'

  # curl's own head for a GetFile: request line and header order as curl writes them.
  local body='<DataRequest><GetFile ViewName="Documents" PrimKey="K1"/></DataRequest>'
  getfile Documents K1 -H 'X-Second: 2' -H 'x-first: 1' >/dev/null
  last_head >"$WORK/curl-head"
  printf 'POST /system/filestore/data.aspx HTTP/1.1\r\nHost: 127.0.0.1:%s\r\nUser-Agent: %s\r\nAccept: */*\r\nContent-Type: text/xml\r\nX-Second: 2\r\nx-first: 1\r\nContent-Length: %d\r\n\r\n' \
    "$PORT" "$(curl -V | head -n1 | awk '{print "curl/" $2}')" "${#body}" >"$WORK/curl-expected"
  check "curl's GetFile head recorded exactly" cmp -s "$WORK/curl-head" "$WORK/curl-expected"

  # Two requests on one keep-alive connection share the connection number; a new curl gets a new one.
  curl -s -o /dev/null -o /dev/null "$BASE/index.html" "$BASE/sub/style.css"
  out=$(curl -s "$BASE/_filestore/requests" | grep -o '"connection":[0-9]*' | tail -n 2 | sort -u | wc -l)
  check "keep-alive requests share a connection" eq "$out" 1
  # Inspection requests are not recorded.
  check "inspection requests are not recorded" lacks "$(curl -s "$BASE/_filestore/requests")" '"target":"/_filestore/'
  control requests/clear >/dev/null
  check "log cleared" eq "$(curl -s "$BASE/_filestore/requests")" "[]"
  check "no last request after clearing" eq "$(curl -s -o /dev/null -w '%{http_code}' "$BASE/_filestore/request")" 404
}

# ---------------------------------------------------------------------------------------------------
test_pages() {
  local out
  check "index page" eq "$(curl -s "$BASE/")" '<html><body>page</body></html>'
  out=$(curl -s -o /dev/null -w '%{content_type} %{http_code}' "$BASE/sub/style.css")
  check "page content type" eq "$out" "text/css 200"
  out=$(curl -s --path-as-is -o /dev/null -w '%{http_code}' "$BASE/../seed.txt")
  check "dot-dot page path refused" eq "$out" 404
  out=$(curl -s -o /dev/null -w '%{http_code}' "$BASE/sub/..%2F..%2Fseed.txt")
  check "encoded dot-dot refused" eq "$out" 404
  out=$(curl -s "$BASE/missing.html")
  check "missing page gives Response/Error" contains "$out" '<Response><Error Message="No page /missing.html."/></Response>'
  out=$(curl -s -X POST --data-binary x "$BASE/other.aspx")
  check "POST elsewhere gives Response/Error" contains "$out" '<Response><Error Message="Nothing is served at /other.aspx."/></Response>'
  local method
  for method in PUT PATCH DELETE; do
    out=$(curl -s -X "$method" --data-binary 123456789 -w ' %{http_code}' "$BASE/other.aspx")
    check "$method elsewhere gives Response/Error" eq "$out" '<Response><Error Message="Nothing is served at /other.aspx."/></Response> 404'
    check "$method elsewhere: its body streamed past and counted" contains "$(curl -s "$BASE/_filestore/requests" | tail -n 1)" \
      "\"method\":\"$method\",\"target\":\"/other.aspx\",\"kind\":\"other\""
    check "$method elsewhere: body length" contains "$(curl -s "$BASE/_filestore/requests" | tail -n 1)" '"body_length":9,"body_crc":3421780262'
  done
}

# ---------------------------------------------------------------------------------------------------
test_faults() {
  local out t0 t1
  fault 'name=text-plain'
  out=$(getfile Documents K1 -w ' %{content_type}')
  check "text-plain fault" eq "$out" "The file store is not available. text/plain"
  check "faults are used up" eq "$(getfile Documents K1)" "new content"

  fault 'name=html&text=Oops'
  out=$(getfile Documents K1 -w ' %{content_type}')
  check "html fault has a body element" contains "$out" '<body><h1>Server Error</h1><p>Oops</p></body></html> text/html'
  check "html fault names text/html in its text" contains "$out" 'content="text/html'

  fault 'name=error&message=Locked%20by%20x'
  check "error fault" eq "$(getfile Documents K1)" '<Response><Error Message="Locked by x"/></Response>'

  fault 'name=success-and-error&for=upload'
  check "upload-only fault leaves GetFile alone" eq "$(getfile Documents K1)" "new content"
  out=$(upload Docs SE1 se.txt "$WORK/digits.txt")
  check "success-and-error fault on a post" contains "$out" '"/><Error Message="Simulated server error."/></Response>'
  check "success-and-error post is stored under the reply's FileRef" \
    contains "$(record Docs SE1)" "\"file_ref\":\"$(sed -E 's/.*FileRef="([^"]*)".*/\1/' <<<"$out")\""

  fault 'name=response-attributes'
  check "response-attributes fault (GetFile: Error child)" eq "$(getfile Documents K1)" \
    '<Response Version="1.0" Status="ok"><Error Message="Simulated server error."/></Response>'
  fault 'name=trailing-html&child=success&fileref=abc'
  check "trailing-html fault" eq "$(getfile Documents K1)" \
    '<?xml version="1.0"?><Response><Success FileRef="abc"/></Response><html><body><p>trailer</p></body></html>'
  fault 'name=missing-end'
  out=$(upload Docs ME1 me.txt "$WORK/digits.txt")
  check "missing-end fault" contains "$out" '<Response><Success FileRef="'
  check "missing-end has no end tag" lacks "$out" '</Response>'
  fault 'name=error&for=upload'
  out=$(upload Docs NS1 ns.txt "$WORK/digits.txt")
  check "error fault on a post" eq "$out" '<Response><Error Message="Simulated server error."/></Response>'
  check "error fault on a post stores nothing" eq "$(curl -s -o /dev/null -w '%{http_code}' "$BASE/_filestore/record?view=Docs&key=NS1")" 404
  fault 'name=empty'
  check "empty fault" eq "$(getfile Documents K1 -w '%{size_download} %{content_type}')" "0 text/plain"

  fault 'name=content-description&value=Note:%20'
  out=$(getfile Documents NOPE -D -)
  check "content-description header" contains "$out" $'Content-Description: Note: \r'
  check "content-description keeps the normal reply" contains "$out" '<Response><Error Message="No file is stored'

  fault 'name=binary-octet-params'
  out=$(getfile Documents K1 -w ' %{content_type}')
  check "Binary/Octet content type with parameters" eq "$out" "new content Binary/Octet; name=x"
  fault 'name=binary-octet-params'
  getfile Documents NOPE >/dev/null
  check "file-data faults wait for a GetFile that finds its record" contains "$(curl -s "$BASE/_filestore/faults")" '"name":"binary-octet-params"'
  control faults/clear >/dev/null
  check "faults cleared" eq "$(curl -s "$BASE/_filestore/faults")" "[]"

  fault 'name=short-body&bytes=3'
  check "short body" eq "$(getfile Documents K1)" "new cont"
  fault 'name=long-body&bytes=2'
  check "long body" eq "$(getfile Documents K1)" "new contentXX"

  fault 'name=overrun-body&bytes=3'
  out=$(getfile Documents K1 -D "$WORK/overrun.head")
  check "overrun body: Content-Length announces 3 bytes fewer" contains "$(cat "$WORK/overrun.head")" $'Content-Length: 8\r'
  check "overrun body: a client that trusts it reads the first 8" eq "$out" "new cont"
  if [ "${BASE#http://}" != "$BASE" ]; then
    fault 'name=overrun-body&bytes=3'
    out=$(python3 - "$PORT" "$EP" <<'PY'
import socket, sys, time
body = b'<DataRequest><GetFile ViewName="Documents" PrimKey="K1"/></DataRequest>'
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=5)
s.sendall(b"POST %s HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml\r\nContent-Length: %d\r\n\r\n" % (sys.argv[2].encode(), len(body)) + body)
data = b""
while not data.endswith(b"new content"):
    piece = s.recv(65536)
    if not piece: break
    data += piece
print(data.split(b"\r\n\r\n", 1)[-1].decode())
PY
)
    check "overrun body: every stored byte is sent" eq "$out" "new content"
  fi

  fault 'name=drop-mid-body&at=400000'
  getfile Big M1 -o "$WORK/dropped.out"
  check "drop-mid-body: curl sees a partial transfer (18)" eq "$?" 18
  check "drop-mid-body: the first bytes arrived" eq "$(stat -c %s "$WORK/dropped.out")" 400000
  check "drop-mid-body: bytes are the stored ones" cmp -s "$WORK/dropped.out" <(head -c 400000 "$WORK/one-mib.bin")
  check "server still serves after a drop" eq "$(getfile Documents K1)" "new content"

  fault 'name=slow-body&rate=3000'
  t0=$(date +%s%N)
  getfile Big G1 -o "$WORK/slow.out"
  t1=$(date +%s%N)
  check "slow body arrives complete" eq "$(stat -c %s "$WORK/slow.out")" 3000
  check "slow body is paced (3000 bytes at 3000 B/s take at least 0.8 s)" test $(((t1 - t0) / 1000000)) -ge 800

  fault 'name=delay&ms=700'
  t0=$(date +%s%N)
  out=$(getfile Documents K1)
  t1=$(date +%s%N)
  check "delayed reply arrives" eq "$out" "new content"
  check "reply delayed by at least 700 ms" test $(((t1 - t0) / 1000000)) -ge 700

  fault 'name=auth-challenge&count=2'
  out=$(getfile Documents K1 -D -)
  check "auth challenge: 401" contains "$out" 'HTTP/1.1 401 Unauthorized'
  check "auth challenge: Negotiate" contains "$out" $'WWW-Authenticate: Negotiate\r'
  check "auth challenge: NTLM" contains "$out" $'WWW-Authenticate: NTLM\r'
  out=$(upload Docs AU1 au.txt "$WORK/digits.txt" -w ' %{http_code}')
  check "auth challenge on a post" contains "$out" '401 Unauthorized</h1></body></html> 401'
  check "challenged post stored nothing" eq "$(curl -s -o /dev/null -w '%{http_code}' "$BASE/_filestore/record?view=Docs&key=AU1")" 404
  check "after the count the request is served" eq "$(getfile Documents K1 -H 'Authorization: NTLM TlRMTVNTUAABAAAA')" "new content"
  fault 'name=auth-challenge&scheme=basic'
  check "basic challenge" contains "$(getfile Documents K1 -D -)" $'WWW-Authenticate: Basic realm="filestore"\r'

  fault 'name=text-plain&count=-1'
  getfile Documents K1 >/dev/null; getfile Documents K1 >/dev/null
  check "count -1 stays on" eq "$(getfile Documents K1)" "The file store is not available."
  control faults/clear >/dev/null
  out=$(control 'fault?name=no-such-fault' -w ' %{http_code}')
  check "unknown fault refused" contains "$out" 'unknown fault \"no-such-fault\"'
  out=$(control 'fault?name=delay&ms=abc' -w ' %{http_code}')
  check "bad fault parameter refused" contains "$out" ' 400'
  check "fault requests are recorded with their outcome" contains "$(curl -s "$BASE/_filestore/requests")" '"outcome":"fault auth-challenge"'
}

# ---------------------------------------------------------------------------------------------------
test_bad_input() {
  local out i args=()
  # A head over 64 KiB: Response/Error, and the server goes on.
  for i in $(seq 1 40); do args+=(-H "X-Pad-$i: $(head -c 2000 /dev/zero | tr '\0' a)"); done
  out=$(getfile Documents K1 "${args[@]}")
  check "oversized head" contains "$out" '<Response><Error Message="Request head too large: '
  check "oversized head is recorded truncated" contains "$(curl -s "$BASE/_filestore/requests" | tail -n 1)" '"head_truncated":true'
  # One header line over the library's 8 KiB line limit.
  out=$(getfile Documents K1 -H "X-Long: $(head -c 10000 /dev/zero | tr '\0' b)" -w ' %{http_code}')
  check "header line over 8 KiB" contains "$out" '<Response><Error Message="Bad request (HTTP status 400)."/></Response> 400'
  # A head that never ends: cut at 1 MiB.
  { printf 'POST /system/filestore/data.aspx HTTP/1.1\r\n'; for i in $(seq 1 1200); do printf 'X-%d: %01000d\r\n' "$i" 0; done; } >"$WORK/endless"
  out=$(raw "$WORK/endless")
  check "endless head gets 400 and a Response/Error" contains "$out" 'Request head too large: it passed 1048576 bytes.'
  # Not HTTP at all.
  printf 'HELLO THERE\r\n\r\n' >"$WORK/garbage"
  check "garbage gets a Response/Error" contains "$(raw "$WORK/garbage")" '<Response><Error Message="Bad request'
  # More bytes than Content-Length announces: only the announced ones are the body; the rest is dropped.
  printf 'POST /system/filestore/data.aspx HTTP/1.1\r\nHost: x\r\nContent-Type: velmar/postedfile\r\nvm_PrimKey :OV1\r\nvm_ViewName :Docs\r\nvm_FileName :eC50eHQ=\r\nvm_FileSize :9\r\nvm_FileCRC :-873187034\r\nContent-Length: 9\r\n\r\n123456789EXTRA BYTES\r\n\r\n' >"$WORK/overlong"
  out=$(raw "$WORK/overlong")
  check "body longer than Content-Length: the announced part is checked" contains "$out" '<Response><Success FileRef="'
  check "body longer than Content-Length: the extra bytes are not stored" contains "$(record Docs OV1)" '"size":9,"crc":3421780262'
  # A body longer than vm_FileSize announces.
  out=$(curl -s -X POST -H 'Content-Type: velmar/postedfile' -H 'vm_PrimKey :OV2' -H 'vm_ViewName :Docs' \
    -H 'vm_FileName :eC50eHQ=' -H 'vm_FileSize :8' -H 'vm_FileCRC :-873187034' --data-binary "@$WORK/digits.txt" "$BASE$EP")
  check "body longer than vm_FileSize" eq "$out" '<Response><Error Message="File size mismatch: vm_FileSize is 8, the body has 9 bytes."/></Response>'
  out=$(curl -s -w ' %{http_code}' -X POST -H 'Content-Type: text/xml' "$BASE$EP")
  check "POST without a length" contains "$out" '<Response><Error Message="Bad request (HTTP status 400)."/></Response> 400'
  check "server still serves" eq "$(getfile Documents K1)" "new content"
}

# ---------------------------------------------------------------------------------------------------
test_control() {
  local out action route before
  # Any web page can send GET and "simple" POSTs (form or text/plain bodies) to this port; only a POST with
  # the control header changes state.
  fault 'name=text-plain&count=-1'
  before=$(curl -s "$BASE/_filestore/records")
  for action in reset requests/clear 'fault?name=empty' faults/clear seed; do
    out=$(curl -s -w ' %{http_code}' "$BASE/_filestore/$action")
    check "GET $action refused" eq "$out" '{"error":"a control action is accepted only as POST with the header X-Filestore-Control: 1"}
 403'
    out=$(curl -s -o /dev/null -w '%{http_code}' -d '' "$BASE/_filestore/$action")
    check "form POST $action without the header refused" eq "$out" 403
    out=$(curl -s -o /dev/null -w '%{http_code}' -H 'Content-Type: text/plain' --data-binary $'[record]\nview=X\nkey=Y\n' "$BASE/_filestore/$action")
    check "text/plain POST $action refused" eq "$out" 403
    out=$(curl -s -o /dev/null -w '%{http_code}' -H 'X-Filestore-Control: yes' -d '' "$BASE/_filestore/$action")
    check "POST $action with another header value refused" eq "$out" 403
    out=$(curl -s -o /dev/null -w '%{http_code}' -X PUT -H 'X-Filestore-Control: 1' -d '' "$BASE/_filestore/$action")
    check "PUT $action refused" eq "$out" 403
  done
  check "refused control actions changed no fault" contains "$(curl -s "$BASE/_filestore/faults")" '"name":"text-plain"'
  check "refused control actions changed no record" eq "$(curl -s "$BASE/_filestore/records")" "$before"
  check "refused control actions left the fault on" eq "$(getfile Documents K1)" "The file store is not available."

  # DNS rebinding: a page of another name resolved to 127.0.0.1 sends its own name as Host.
  for route in health records requests request faults 'record?view=Documents&key=K1' 'bytes?view=Documents&key=K1' nope; do
    for host in evil.example "evil.example:$PORT" "127.0.0.1.evil.example:$PORT" "localhost.evil.example"; do
      out=$(curl -s -w ' %{http_code}' -H "Host: $host" "$BASE/_filestore/$route")
      check "GET $route with Host $host refused" contains "$out" 'does not name this machine'"'"'s loopback or the address the server listens on"}
 403'
    done
  done
  out=$(control faults/clear -H "Host: evil.example:$PORT" -w ' %{http_code}')
  check "a control action with a foreign Host is refused" contains "$out" ' 403'
  check "... and changes nothing" contains "$(curl -s "$BASE/_filestore/faults")" '"name":"text-plain"'
  check "no Host header refused" eq "$(curl -s -o /dev/null -w '%{http_code}' -H 'Host:' "$BASE/_filestore/health")" 403
  for host in "localhost:$PORT" localhost "LocalHost.:$PORT" "127.0.0.1:1" "127.1.2.3:$PORT" "[::1]:$PORT"; do
    check "Host $host is this machine" eq "$(curl -s -H "Host: $host" "$BASE/_filestore/health")" ok
  done
  check "the endpoint serves any Host (the web application's own name)" eq "$(getfile Documents NOPE -H 'Host: files.example' -o /dev/null -w '%{http_code}')" 200
  out=$(control faults/clear -H "Host: localhost:$PORT" -w ' %{http_code}')
  check "a control action with the header and a loopback Host" eq "$out" '{"cleared":true}
 200'
  out=$(curl -s -w ' %{http_code}' -X POST -H 'X-Filestore-Control: 1' "$BASE/_filestore/requests/clear")
  check "a control POST without Content-Length has an empty body" eq "$out" '{"cleared":true}
 200'
  out=$(control records -w ' %{http_code}')
  check "POST to a read-only route" eq "$out" '{"error":"unknown inspection request"}
 404'
}

test_control_bodies() {
  local out big
  head -c 2097152 /dev/zero >"$WORK/two-mib.bin"
  # curl waits for 100 Continue before a large body: it is refused before it is sent.
  out=$(control faults/clear --data-binary "@$WORK/two-mib.bin" -w ' %{http_code} %{size_upload}')
  check "2 MiB to faults/clear: 413 before the body" eq "$out" '{"error":"the request body is larger than 1048576 bytes, the most this request accepts"}
 413 0'
  # A client that sends the body at once: the answer comes without the body having been read.
  printf 'POST /_filestore/faults/clear HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Filestore-Control: 1\r\nContent-Length: 419430400\r\n\r\n0123456789' >"$WORK/huge-head"
  out=$(raw "$WORK/huge-head")
  check "400 MiB announced: 413 at once" contains "$out" $'HTTP/1.1 413 Payload Too Large\r\n'
  check "400 MiB announced: the connection is closed" contains "$out" $'Connection: close\r\n'
  check "400 MiB announced: JSON error" contains "$out" '{"error":"the request body is larger than 1048576 bytes'
  check "400 MiB announced: one answer, the rest is not taken for a request" eq "$(grep -c '^HTTP/1.1' <<<"$out")" 1
  printf 'POST /_filestore/records HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 419430400\r\n\r\n0123456789' >"$WORK/huge-read"
  check "400 MiB to a read route: 404 at once" contains "$(raw "$WORK/huge-read")" $'HTTP/1.1 404 Not Found\r\n'
  printf 'POST /_filestore/reset HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 419430400\r\n\r\n0123456789' >"$WORK/huge-csrf"
  check "400 MiB without the header: 403 at once" contains "$(raw "$WORK/huge-csrf")" $'HTTP/1.1 403 Forbidden\r\n'
  out=$(control requests/clear -H 'Transfer-Encoding: chunked' --data-binary "@$WORK/two-mib.bin" -w ' %{http_code}')
  check "2 MiB chunked to requests/clear: 413" contains "$out" '1048576 bytes, the most this request accepts"}
 413'
  # A manifest may be larger than other control bodies.
  { printf '[record]\nview = Padded\nkey = P1\ncontent = padded\n'; for _ in $(seq 1 3000); do printf '# %01020d\n' 0; done; } >"$WORK/padded.txt"
  out=$(control seed --data-binary "@$WORK/padded.txt" -w ' %{http_code}')
  check "a 3 MiB manifest is seeded" eq "$out" '{"seeded":1}
 200'
  for _ in $(seq 1 2000); do printf '# %01020d\n' 0; done >>"$WORK/padded.txt"
  out=$(control seed --data-binary "@$WORK/padded.txt" -w ' %{http_code}')
  check "a 5 MiB manifest is refused" contains "$out" '4194304 bytes, the most this request accepts"}
 413'
  check "the server still serves" eq "$(getfile Padded P1)" padded
  check "refused bodies are not recorded as requests" lacks "$(curl -s "$BASE/_filestore/requests")" '"kind":"bad-request"'
}

test_seed_files() {
  local out
  # A manifest from the network reads only files inside the data and pages folders, links resolved.
  seed_file() {  # seed_file KEY CONTENT_FILE -> reply and status
    printf '[record]\nview = Seeded\nkey = %s\ncontent_file = %s\n' "$1" "$2" | control seed --data-binary @- -w ' %{http_code}'
  }
  printf 'in pages' >"$WORK/pages/seed-me.bin"
  printf 'in data' >"$DATA/seed-me.bin"
  ln -sf "$WORK/digits.txt" "$WORK/pages/link-out"
  ln -sf "$WORK" "$WORK/pages/dir-out"
  local bad
  for bad in /etc/passwd "$WORK/digits.txt" "$WORK/pages/../digits.txt" ../../../../../../../../etc/passwd \
             "$WORK/pages/link-out" "$WORK/pages/dir-out/digits.txt" "$WORK/pages-other/x"; do
    out=$(seed_file BAD "$bad")
    check "content_file $bad refused" eq "$out" "{\"error\":\"record at line 1: content_file \\\"$bad\\\" is outside the store's folders (the data folder and the pages folder)\"}
 400"
  done
  check "refused seeds stored nothing" eq "$(curl -s -o /dev/null -w '%{http_code}' "$BASE/_filestore/record?view=Seeded&key=BAD")" 404
  check "a file in the pages folder is seeded" eq "$(seed_file P "$WORK/pages/seed-me.bin")" '{"seeded":1}
 200'
  check "... with its bytes" eq "$(getfile Seeded P)" "in pages"
  check "a file in the data folder is seeded" eq "$(seed_file D "$DATA/sub/../seed-me.bin")" '{"seeded":1}
 200'
  check "... with its bytes" eq "$(getfile Seeded D)" "in data"
  # The operator's manifest on the command line named a file outside both folders (Big/M1): still there.
  check "the command line's manifest read a file of its own folder" contains "$(record Big M1)" '"size":1048576'
}

test_xml() {
  local i refs='' out
  # Every document the store writes must parse as XML 1.0, whatever bytes the request carried.
  mkdir -p "$WORK/xml"
  for i in $(seq 1 31); do refs+="&#$i;"; done
  printf '<DataRequest><GetFile ViewName="Documents" PrimKey="K%s&#xFFFE;&#xFFFF;&#x7F;&#x85;"/></DataRequest>' "$refs" >"$WORK/xml/controls.req"
  curl -s -X POST -H 'Content-Type: text/xml' --data-binary "@$WORK/xml/controls.req" "$BASE$EP" >"$WORK/xml/controls.xml"
  check "control characters in a key come back as U+FFFD" contains "$(cat "$WORK/xml/controls.xml")" \
    'key K&#65533;&#65533;&#65533;&#65533;&#65533;&#65533;&#65533;&#65533;&#9;&#10;&#65533;&#65533;&#13;'
  check "... and U+FFFE, U+FFFF too, while U+007F and U+0085 stay" contains "$(cat "$WORK/xml/controls.xml")" \
    '&#65533;&#65533;&#127;&#133;.'
  printf 'POST %s HTTP/1.1\r\nHost: x\r\nContent-Type: text/\x01\x1b[31m\r\nContent-Length: 1\r\nConnection: close\r\n\r\nx' "$EP" >"$WORK/xml/type.raw"
  raw "$WORK/xml/type.raw" | sed '1,/^\r$/d' >"$WORK/xml/type.xml"
  curl -s "$BASE/a%01b%1F.html" >"$WORK/xml/page.xml"
  curl -s -X POST --data-binary x "$BASE/x%02y" >"$WORK/xml/other.xml"
  upload Docs 'X%01' x.txt "$WORK/digits.txt" >"$WORK/xml/success.xml"
  curl -s -X POST -H 'Content-Type: velmar/postedfile' -H 'vm_PrimKey :R1' -H 'vm_ViewName :Docs' \
    -H 'vm_FileName :dXAuYmlu' -H 'vm_FileSize :1x' -H 'vm_FileCRC :1' --data-binary x "$BASE$EP" >"$WORK/xml/size.xml"
  curl -s -X POST -H 'Content-Type: velmar/postedfile' -H 'vm_PrimKey :R1' -H 'vm_ViewName :Docs' \
    -H "vm_FileName :$(printf 'a\x01b' | base64 -w0)" -H 'vm_FileSize :1' -H 'vm_FileCRC :1' --data-binary x "$BASE$EP" >"$WORK/xml/name.xml"
  fault 'name=error&message=a%01b%00c'
  getfile Documents K1 >"$WORK/xml/fault-error.xml"
  fault 'name=success-and-error&fileref=r%02&message=m%03'
  getfile Documents K1 >"$WORK/xml/fault-both.xml"
  fault 'name=response-attributes&child=success&fileref=%1F'
  getfile Documents K1 >"$WORK/xml/fault-attributes.xml"
  out=$(python3 - "$WORK"/xml/*.xml <<'PY'
import sys, xml.etree.ElementTree as ET
for path in sys.argv[1:]:
    try:
        data = open(path, "rb").read()
        if not data.strip():
            print("empty:", path)
            continue
        ET.fromstring(data)
    except ET.ParseError as e:
        print("not well-formed:", path, e, data[:200])
PY
)
  check "every response document parses with a strict XML parser" eq "$out" ""
  check "the documents were the ones meant" eq "$(ls "$WORK/xml"/*.xml | wc -l)" 10
}

# ---------------------------------------------------------------------------------------------------
test_concurrency() {
  local i pids=() bad=0
  mkdir -p "$WORK/conc"
  for i in $(seq 1 25); do head -c $((20000 + i * 997)) /dev/urandom >"$WORK/conc/up$i"; done
  for i in $(seq 1 25); do
    upload Conc "C$i" "c$i.bin" "$WORK/conc/up$i" >"$WORK/conc/reply$i" &
    pids+=($!)
    getfile Big M1 -o "$WORK/conc/down$i" &
    pids+=($!)
  done
  for p in "${pids[@]}"; do wait "$p" || bad=$((bad + 1)); done
  check "50 concurrent clients: every curl succeeded" eq "$bad" 0
  bad=0
  for i in $(seq 1 25); do
    grep -q '<Response><Success FileRef="' "$WORK/conc/reply$i" || { bad=$((bad + 1)); continue; }
    cmp -s "$WORK/conc/down$i" "$WORK/one-mib.bin" || bad=$((bad + 1))
    curl -s "$BASE/_filestore/bytes?view=Conc&key=C$i" -o "$WORK/conc/back$i"
    cmp -s "$WORK/conc/back$i" "$WORK/conc/up$i" || bad=$((bad + 1))
    local want
    want=$(crc_of "$WORK/conc/up$i")
    record Conc "C$i" | grep -q "\"crc_signed\":$want," || bad=$((bad + 1))
  done
  check "50 concurrent clients: nothing lost, every CRC right" eq "$bad" 0
}

# ---------------------------------------------------------------------------------------------------
test_restart() {
  local data=$1 out
  stop
  # A killed upload leaves neither a record nor stray bytes.
  start "$data"
  fault 'name=slow-body&for=upload&rate=100000'
  upload Docs KILL1 kill.bin "$WORK/one-mib.bin" >/dev/null &
  local client=$!
  sleep 1
  kill -9 "$PID"; wait "$PID" 2>/dev/null; PID=""
  wait "$client" 2>/dev/null
  start "$data"
  check "restart keeps seeded records" eq "$(getfile Documents K1)" "new content"
  check "restart keeps uploaded records" eq "$(getfile Docs U2)" "abcdefgh"
  check "restart keeps lock state" contains "$(record Documents K1)" '"checked_out_by":"jdoe"'
  check "killed upload stored nothing" eq "$(curl -s -o /dev/null -w '%{http_code}' "$BASE/_filestore/record?view=Docs&key=KILL1")" 404
  check "no temporary files left" eq "$(ls "$data/tmp" | wc -l)" 0
  out=$(curl -s "$BASE/_filestore/records" | grep -o '"file_ref"' | wc -l)
  check "one blob per record" eq "$(ls "$data/blobs" | wc -l)" "$out"
  # A body over --max-body is refused before it is stored.
  stop
  start "$data" --max-body 100000
  out=$(upload Docs MAX1 max.bin "$WORK/one-mib.bin" -w ' %{http_code}')
  check "body over --max-body" eq "$out" '<Response><Error Message="Request body too large: at most 100000 bytes are accepted."/></Response> 413'
  check "server serves after a refused large body" eq "$(getfile Documents K1)" "new content"
}

test_tls() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$WORK/key.pem" -out "$WORK/cert.pem" -days 2 \
    -subj /CN=127.0.0.1 >/dev/null 2>&1 || { fail "openssl could not make a certificate"; return; }
  stop
  start "$WORK/tls-data" --tls-cert "$WORK/cert.pem" --tls-key "$WORK/key.pem" --seed "$WORK/seed.txt"
  BASE=https://127.0.0.1:$PORT
  check "GetFile over TLS" eq "$(getfile Documents K1 -k)" "123456789"
  local out
  out=$(upload Docs T1 t.txt "$WORK/digits.txt" -k)
  check "upload over TLS" contains "$out" '<Response><Success FileRef="'
  out=$(curl -sk "$BASE/_filestore/request?back=1")
  check "TLS head recorded in plain text" contains "$out" $'Content-Type: velmar/postedfile\r\nvm_PrimKey :T1\r\n'
  stop
}

# ---------------------------------------------------------------------------------------------------
DATA=$WORK/data
start "$DATA" --pages "$WORK/pages" --seed "$WORK/seed.txt"
t0=$(date +%s); test_getfile; echo "[getfile: $(( $(date +%s) - t0 )) s]"
t0=$(date +%s); test_upload; echo "[upload: $(( $(date +%s) - t0 )) s]"
t0=$(date +%s); test_recording; echo "[recording: $(( $(date +%s) - t0 )) s]"
t0=$(date +%s); test_pages; echo "[pages: $(( $(date +%s) - t0 )) s]"
t0=$(date +%s); test_faults; echo "[faults: $(( $(date +%s) - t0 )) s]"
t0=$(date +%s); test_bad_input; echo "[bad_input: $(( $(date +%s) - t0 )) s]"
t0=$(date +%s); test_control; echo "[control: $(( $(date +%s) - t0 )) s]"
t0=$(date +%s); test_control_bodies; echo "[control_bodies: $(( $(date +%s) - t0 )) s]"
t0=$(date +%s); test_seed_files; echo "[seed_files: $(( $(date +%s) - t0 )) s]"
t0=$(date +%s); test_xml; echo "[xml: $(( $(date +%s) - t0 )) s]"
t0=$(date +%s); test_concurrency; echo "[concurrency: $(( $(date +%s) - t0 )) s]"
t0=$(date +%s); test_restart "$DATA"; echo "[restart: $(( $(date +%s) - t0 )) s]"
t0=$(date +%s); test_tls; echo "[tls: $(( $(date +%s) - t0 )) s]"

echo "filestore end-to-end: $CHECKS checks, $FAILURES failed"
[ "$FAILURES" -eq 0 ]
