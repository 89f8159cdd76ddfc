#!/usr/bin/env python3
# Writes the seed inputs of fuzz/corpus/<target>/: well-formed and typically
# broken replies, texts, records and ciphertexts. Needs the openssl program for
# the encrypted seeds. Run from anywhere; files are rewritten in place.
import hashlib, os, struct, subprocess
root = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus')
KEY = b"k3Y-for-fuzzing.0123456789abcdef"
IV = b"Rb5w@Gz1pQ8$mXt3"
def enc(plain, key=KEY, iv=IV):
    return subprocess.run(['openssl','enc','-aes-256-cbc','-K',key.hex(),'-iv',iv.hex()],input=plain,capture_output=True,check=True).stdout
def rhead(length, sid=bytes(range(16)), flag=0, encrypted=0, unused=0):
    return struct.pack('<I', length) + bytes([unused]) + sid + bytes([flag, encrypted])
def frame(payload, **kw):
    return rhead(len(payload), **kw) + payload + hashlib.md5(payload).digest()
def write(target, name, data):
    d = os.path.join(root, target); os.makedirs(d, exist_ok=True)
    open(os.path.join(d, name), 'wb').write(data)
sid = bytes.fromhex('00112233445566778899aabbccddeeff')
answer = 'DESCRIPTION\xfeOPERATION\x1cSESSION\x1c20'.encode('latin-1')
utf8 = 'LIST\xfeA\x1cCaf\xe9 \u20ac \u0160\u0161 \u017d\u017e \u0152\u0153 \u0178'.encode('utf-8')
# response reader: [mode, parameter, flags] then header + payload (framed) or raw
rr = 'response_reader'
write(rr, 'framed-plain', bytes([0,0,2]) + rhead(0) + utf8)
write(rr, 'framed-encrypted-key', bytes([0,0,7]) + rhead(0, encrypted=1) + utf8)
write(rr, 'framed-error-text', bytes([1,2,7]) + rhead(0, flag=255, encrypted=1) + 'Fichier verrouill\xe9'.encode('utf-8'))
write(rr, 'framed-empty', bytes([3,0,2]) + rhead(0))
write(rr, 'framed-encrypted-no-key', bytes([2,9,6]) + rhead(0, encrypted=1) + answer)
write(rr, 'raw-plain', bytes([3,0,0]) + frame(answer))
write(rr, 'raw-encrypted', bytes([1,0,1]) + frame(enc(utf8), encrypted=1))
write(rr, 'raw-bad-padding', bytes([0,0,1]) + frame(enc(b'x'*16)[:16], encrypted=1))
write(rr, 'raw-huge-length', bytes([1,6,1]) + rhead(0xFFFFFFFF) + b'y'*40)
write(rr, 'raw-short-header', bytes([1,0,0]) + frame(answer)[:10])
write(rr, 'raw-wrong-checksum', bytes([2,1,0]) + frame(answer)[:-1] + b'\0')
# key negotiation reader
kn = 'key_negotiation_reader'
write(kn, 'framed-key', bytes([0,0,2]) + rhead(0, sid=sid) + KEY)
write(kn, 'framed-long-key', bytes([2,3,2]) + rhead(0, sid=sid, encrypted=1) + KEY + b'trailing')
write(kn, 'framed-refusal', bytes([1,4,2]) + rhead(0, flag=1) + b'Licence limit reached: 5 users')
write(kn, 'framed-refusal-zero', bytes([0,0,2]) + rhead(0, flag=255) + b'before\0after')
write(kn, 'framed-short-key', bytes([3,0,2]) + rhead(0, sid=sid) + KEY[:16])
write(kn, 'raw-key', bytes([3,0,0]) + frame(KEY, sid=sid))
write(kn, 'raw-refusal', bytes([1,0,0]) + frame(b'No licence', flag=7))
write(kn, 'raw-payload-short', bytes([1,1,0]) + frame(KEY, sid=sid)[:40])
write(kn, 'raw-checksum-short', bytes([0,0,0]) + frame(KEY, sid=sid)[:-3])
# text conversion: ISO text, UTF-8 text, identifier text, zero-separated
tc = 'text_conversion'
write(tc, 'iso-and-utf8', 'Caf\xe9 \xa4 \xa6\xa8\xb4\xb8\xbc\xbd\xbe \x80\x9f\xff'.encode('latin-1') + b'\0' + utf8 + b'\0' + b'0f8fad5b-d9cb-469f-a165-70867728950e')
write(tc, 'broken-utf8', b'plain\0' + b'\xc3\x28 \xe2\x82 \xf0\x9f\x98\x80 \xed\xa0\x80 \xc0\xaf \xf8\x88\x80\x80\x80 \xe2\x82\xac\xc2' + b'\0' + b'0F8FAD5B-D9CB-469F-A165-70867728950E')
write(tc, 'bad-identifiers', b'\0\0' + b'0f8fad5b-d9cb-469f-a165-70867728950')
write(tc, 'identifier-first', b'12345678-9abc-4def-8123-456789abcdef\0\xc2\xa4\xc5\xa0\0gggggggg-d9cb-469f-a165-70867728950e')
# string toolkit: separator, key separator, index (4 bytes big-endian), text, key, second, 8 record values
st = 'string_toolkit'
def strings(*items): return b'\0'.join(x if isinstance(x, bytes) else x.encode('latin-1') for x in items)
keyed = 'LIST\xfeNAME\xfeCITY\x1cfirst\x1cBerlin'
write(st, 'keyed-answer', bytes([0x1C, 0xFE]) + struct.pack('>I', 2) + strings(keyed, 'CITY', 'second', 'db.example', 'ACCOUNT', 'alice', 'secret', 'SALES', '', 'plug', 'value'))
write(st, 'empty-items', bytes([0x1F, 0x1F]) + struct.pack('>I', 0) + strings('\x1f\x1fa\x1f', '', '', 'h', '', '', '', '', '', '', '\x1c'))
write(st, 'index-past-end', bytes([0x2C, 0xFE]) + struct.pack('>I', 0xFFFFFFFF) + strings('a,b,c', 'a', 'z', '127.0.0.1', 'a\x1cb', 'c', 'd', 'e', 'f', 'g', 'h'))
write(st, 'separator-zero', bytes([0, 0]) + struct.pack('>I', 11) + strings('text', 'key'))
# payload decryption: flags, [key], [iv], ciphertext
pd = 'payload_decryption'
write(pd, 'valid-built-in-vector', bytes([0]) + enc(utf8))
write(pd, 'valid-terminated', bytes([4]) + enc(b''))
write(pd, 'valid-own-key-vector', bytes([3]) + b'K'*32 + b'V'*16 + enc(answer, b'K'*32, b'V'*16))
write(pd, 'bad-padding', bytes([0]) + enc(b'0123456789abcdef')[:16])
write(pd, 'partial-block', bytes([4]) + enc(utf8)[:-1])
write(pd, 'empty', bytes([6]))
# operation exchange: kind, code, input format, output format, arguments, then
# the negotiation and the response: flags, two-byte length, body
oe = 'operation_exchange'
def block(flags, body): return bytes([flags]) + struct.pack('>H', len(body)) + body
def op(kind, code, fin, fout, args, negotiation, response):
    return bytes([kind, code, fin, fout]) + args + b'\0' + negotiation + response
good_key = block(2, rhead(0, sid=sid) + KEY)
keyed = lambda listname, pairs: (listname + ''.join('\xfe' + k for k, _ in pairs) + ''.join('\x1c' + v for _, v in pairs)).encode('utf-8')
direct_answer = keyed('DIRECT', [('OPERATION', '20'), ('ARGUMENTS', 'CUSTOMERS\x1f1001')])
login_answer = keyed('LOGIN', [('RECORD_ID', 'R00000001'), ('OPERATION', '1')])
write(oe, 'direct', op(0, 20, 1, 1, b'CUSTOMERS\x1f1001', good_key, block(6, rhead(0, encrypted=1) + direct_answer)))
write(oe, 'direct-append-json', op(0, 2, 1, 3, b'CUSTOMERS\x1f1001\xfex', good_key, block(6, rhead(0, encrypted=1) + direct_answer)))
write(oe, 'login', op(1, 1, 1, 1, b'login', good_key, block(6, rhead(0, encrypted=1) + login_answer)))
write(oe, 'session-insert', op(2, 3, 1, 2, b'T\x1fa\xfeb\xfec', block(0, b''), block(6, rhead(0, encrypted=1) + 'Caf\xe9 \u20ac'.encode('utf-8'))))
write(oe, 'logout', op(3, 8, 1, 1, b'bye', block(0, b''), block(6, rhead(0, encrypted=1) + b'bye')))
write(oe, 'refused', op(0, 20, 1, 1, b'x', block(2, rhead(0, flag=1) + b'Licence limit reached'), block(0, b'')))
write(oe, 'error-text', op(2, 20, 1, 1, b'x', block(0, b''), block(6, rhead(0, flag=255, encrypted=1) + 'Verrouill\xe9'.encode('utf-8'))))
write(oe, 'raw-negotiation-bad-checksum', op(1, 1, 1, 1, b'', block(0, frame(KEY, sid=sid)[:-1] + b'\0'), block(0, b'')))
write(oe, 'plain-response', op(0, 5, 2, 8, b'a\x1fb', good_key, block(2, rhead(0) + direct_answer)))
