#!/usr/bin/env python3
"""Reference implementation of the maker's three web services, for tests and the demo.

Serves on 127.0.0.1 (a free port unless --port is given) and prints its address:
  refserver http://127.0.0.1:PORT

Update service (any prefix before the file names):
  GET  .../getVersionFile.htm?version=V[&client=C]  RELEASES/V/version-C.xml if it exists,
       else RELEASES/V/version.xml; the text "{server}" in it becomes this server's address
  GET  .../getVersionSignature.htm?version=V[&client=C]  the same file's signature (.sig beside it)
  GET  .../getVersionStream.htm?path=P&version=V    the file RELEASES/V/P
Channel service:
  POST /clientChannel/clientChannelInfo?mark=..&macAddr=..&cpu=..   recorded
Uninstall-reason service:
  GET  /cms/uninstallReason/getPresentByType?type=T                 the --reasons file
  POST /cms/uninstallReason/getUserUninstallReasonByType (JSON)     recorded
Every request is logged; reports and feedback are recorded, one JSON line each (--record).

Faults, from the command line (--fault KIND[:ARG][@MATCH]) or at run time
(POST /_control/fault with {"kind", "arg", "match", "times"}; DELETE clears them), apply to
requests whose path and query contain MATCH:
  status:CODE   answer with that HTTP status      stall     send the headers and a few bytes, then nothing
  silent        accept and never answer           truncate  send half the body, then close
  alter         flip bytes of the body            slow:BPS  send the body at BPS bytes per second
  endless       send the body, then more bytes without end (no length given)
  redirect:URL  answer 302 with Location URL (and the body the answer would have had)
  cut:BYTES     send that many bytes of the body, then reset the connection
  norange       answer a file request whole, as a server that ignores Range
  encoding:NAME[:MIB]  answer with Content-Encoding NAME whatever was asked for, the body
                compressed (gzip, deflate; as it is for any other NAME), or with MIB a
                bomb in its place: MIB mebibytes of zeros, compressed
Release files carry an ETag (their size and time) and answer a single Range
("bytes=A-" or "bytes=A-B", with If-Range) with 206 and Content-Range, or 416.
GET /_control/sent returns {"bytes": N}, the body bytes sent so far.
GET /_control/requests returns the request log as a JSON array.
"""
import argparse
import json
import re
import os
import socket
import struct
import sys
import threading
import time
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit


class State:
    def __init__(self, args):
        self.releases = args.releases
        self.reasons = args.reasons
        self.record_path = args.record
        self.log_path = args.log
        self.lock = threading.RLock()
        self.requests = []
        self.faults = [parse_fault(text) for text in args.fault]
        self.base = ''
        self.sent = 0

    def log(self, entry):
        with self.lock:
            self.requests.append(entry)
            if self.log_path:
                with open(self.log_path, 'a', encoding='utf-8') as f:
                    f.write(json.dumps(entry, ensure_ascii=False) + '\n')

    def record(self, entry):
        if not self.record_path:
            return
        with self.lock, open(self.record_path, 'a', encoding='utf-8') as f:
            f.write(json.dumps(entry, ensure_ascii=False) + '\n')

    def fault_for(self, target):
        with self.lock:
            for fault in self.faults:
                if fault['match'] in target and fault.get('times', -1) != 0:
                    if fault.get('times', -1) > 0:
                        fault['times'] -= 1
                    return fault
        return None


BOMBS = {}


def compressed(data, encoding):
    """The body compressed as a server that ignores what was asked for sends it
    (encoding "NAME" for gzip or deflate; any other name, the bytes as they are), or with
    "NAME:MIB" a bomb in its place: one stream of MIB mebibytes of zeros, made once."""
    name, _, mib = encoding.partition(':')
    if name not in ('gzip', 'deflate'):
        return data
    if mib and encoding in BOMBS:
        return BOMBS[encoding]
    packer = zlib.compressobj(1, zlib.DEFLATED, 31 if name == 'gzip' else 15)
    if not mib:
        return packer.compress(data) + packer.flush()
    zeros = b'\0' * (1024 * 1024)
    BOMBS[encoding] = b''.join(packer.compress(zeros) for _ in range(int(mib))) + packer.flush()
    return BOMBS[encoding]


def parse_fault(text):
    match = ''
    if '@' in text:
        text, match = text.split('@', 1)
    kind, _, arg = text.partition(':')
    return {'kind': kind, 'arg': arg, 'match': match, 'times': -1}


def clean_relative(path):
    """The parts of a relative path, or None when it climbs out."""
    parts = [p for p in path.replace('\\', '/').split('/') if p not in ('', '.')]
    if any(p == '..' or ':' in p for p in parts):
        return None
    return parts


class Handler(BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.0'
    server_version = 'refserver/1'

    def log_message(self, *args):
        pass

    @property
    def state(self):
        return self.server.state

    def query(self):
        return {k: v[0] for k, v in parse_qs(urlsplit(self.path).query, keep_blank_values=True).items()}

    def body(self):
        length = int(self.headers.get('Content-Length') or 0)
        return self.rfile.read(length) if length else b''

    def do_GET(self):
        self.handle_request('GET', b'')

    def do_POST(self):
        self.handle_request('POST', self.body())

    def do_DELETE(self):
        if urlsplit(self.path).path == '/_control/fault':
            with self.state.lock:
                self.state.faults.clear()
            return self.send(200, b'{}')
        self.send(404, b'not found')

    def handle_request(self, method, body):
        path = urlsplit(self.path).path
        if path.startswith('/_control/'):
            return self.control(path, body)
        query = self.query()
        self.state.log({'method': method, 'path': path, 'query': query, 'range': self.headers.get('Range'),
                        'time': time.time()})
        fault = self.state.fault_for(self.path)
        if fault and fault['kind'] == 'status':
            return self.send(int(fault['arg'] or 500), b'injected failure')
        if fault and fault['kind'] == 'silent':
            return self.hang()
        self.fault = fault
        self.extra_headers = {}
        status, payload, kind = self.route(method, path, query, body)
        if fault and fault['kind'] == 'redirect':
            # With the answer's own body, as some servers send: it is never the answer.
            self.send_response(302)
            self.send_header('Location', fault['arg'])
            self.send_header('Content-Length', str(len(payload)))
            self.end_headers()
            self.wfile.write(payload)
            return
        self.send(status, payload, kind, fault if status in (200, 206) else None)

    def route(self, method, path, query, body):
        if path.endswith('getVersionFile.htm'):
            return self.version_file(query)
        if path.endswith('getVersionSignature.htm'):
            return self.version_file(query, '.sig')
        if path.endswith('getVersionStream.htm'):
            return self.release_file(query)
        if path == '/clientChannel/clientChannelInfo' and method == 'POST':
            self.state.record({'service': 'channel', 'query': query, 'rawQuery': urlsplit(self.path).query,
                               'method': method, 'body': body.decode('utf-8', 'replace')})
            return 200, b'{"code":200}', 'application/json'
        if path == '/cms/uninstallReason/getPresentByType':
            if not self.state.reasons:
                return 404, b'no reasons', 'text/plain'
            with open(self.state.reasons, 'rb') as f:
                return 200, f.read(), 'application/json;charset=UTF-8'
        if path == '/cms/uninstallReason/getUserUninstallReasonByType' and method == 'POST':
            try:
                posted = json.loads(body.decode('utf-8'))
            except ValueError:
                posted = body.decode('utf-8', 'replace')
            self.state.record({'service': 'feedback', 'contentType': self.headers.get('Content-Type'),
                               'raw': body.decode('utf-8', 'replace'), 'body': posted})
            return 200, b'{"code":200}', 'application/json'
        return 404, b'not found', 'text/plain'

    def version_file(self, query, suffix=''):
        version = clean_relative(query.get('version', ''))
        if not version or len(version) != 1:
            return 404, b'no such version', 'text/plain'
        folder = os.path.join(self.state.releases, version[0])
        client = query.get('client', '')
        names = ([f'version-{client}.xml'] if client else []) + ['version.xml']
        for name in names:
            file = os.path.join(folder, name)
            if os.path.isfile(file):
                if suffix:
                    # A signature covers the bytes as published: nothing is replaced in them.
                    if not os.path.isfile(file + suffix):
                        return 404, b'not signed', 'text/plain'
                    with open(file + suffix, 'rb') as f:
                        return 200, f.read(), 'text/plain'
                with open(file, 'rb') as f:
                    return 200, f.read().replace(b'{server}', self.state.base.encode()), 'text/xml'
        return 404, b'no such version', 'text/plain'

    def release_file(self, query):
        version = clean_relative(query.get('version', ''))
        parts = clean_relative(query.get('path', ''))
        if not version or len(version) != 1 or not parts:
            return 400, b'bad path', 'text/plain'
        file = os.path.join(self.state.releases, version[0], *parts)
        if not os.path.isfile(file):
            return 404, b'no such file', 'text/plain'
        info = os.stat(file)
        etag = '"%x-%x"' % (info.st_mtime_ns, info.st_size)
        self.extra_headers = {'ETag': etag, 'Accept-Ranges': 'bytes'}
        wanted = re.fullmatch(r'bytes=(\d+)-(\d*)', self.headers.get('Range', '').strip())
        if_range = self.headers.get('If-Range')
        with open(file, 'rb') as f:
            if not wanted or (if_range and if_range != etag) or (self.fault and self.fault['kind'] == 'norange'):
                return 200, f.read(), 'application/octet-stream'
            start = int(wanted.group(1))
            end = min(int(wanted.group(2)) if wanted.group(2) else info.st_size - 1, info.st_size - 1)
            if start >= info.st_size or end < start:
                self.extra_headers['Content-Range'] = 'bytes */%d' % info.st_size
                return 416, b'', 'text/plain'
            self.extra_headers['Content-Range'] = 'bytes %d-%d/%d' % (start, end, info.st_size)
            f.seek(start)
            return 206, f.read(end - start + 1), 'application/octet-stream'

    def control(self, path, body):
        if path == '/_control/fault':
            fault = json.loads(body.decode('utf-8'))
            fault.setdefault('match', '')
            fault.setdefault('arg', '')
            fault.setdefault('times', -1)
            with self.state.lock:
                self.state.faults.append(fault)
            return self.send(200, b'{}')
        if path == '/_control/sent':
            with self.state.lock:
                return self.send(200, json.dumps({'bytes': self.state.sent}).encode(), 'application/json')
        if path == '/_control/requests':
            with self.state.lock:
                return self.send(200, json.dumps(self.state.requests, ensure_ascii=False).encode(), 'application/json')
        self.send(404, b'not found')

    def send(self, status, payload, kind='text/plain', fault=None):
        if fault and fault['kind'] == 'encoding':
            payload = compressed(payload, fault['arg'])
            self.extra_headers = dict(getattr(self, 'extra_headers', {}),
                                      **{'Content-Encoding': fault['arg'].partition(':')[0]})
        if fault and fault['kind'] == 'alter' and payload:
            payload = bytearray(payload)
            for at in {0, len(payload) // 2, len(payload) - 1}:
                payload[at] ^= 0xFF
            payload = bytes(payload)
        self.send_response(status)
        self.send_header('Content-Type', kind)
        for name, value in getattr(self, 'extra_headers', {}).items():
            self.send_header(name, value)
        if not (fault and fault['kind'] == 'endless'):
            self.send_header('Content-Length', str(len(payload)))
        self.end_headers()
        if fault and fault['kind'] == 'cut':
            part = payload[:int(fault['arg'] or 0)]
            self.count(len(part))
            self.wfile.write(part)
            self.wfile.flush()
            # An abortive close: the client sees a reset, not a clean end.
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
            self.close_connection = True
            return
        if fault and fault['kind'] == 'endless':
            return self.endless(payload)
        if fault and fault['kind'] == 'stall':
            self.wfile.write(payload[:min(16, len(payload) // 2)])
            self.wfile.flush()
            return self.hang()
        if fault and fault['kind'] == 'truncate':
            self.wfile.write(payload[:len(payload) // 2])
            return
        if fault and fault['kind'] == 'slow':
            rate = max(1, int(fault['arg'] or 65536))
            chunk = max(1, rate // 20)
            for at in range(0, len(payload), chunk):
                self.wfile.write(payload[at:at + chunk])
                self.wfile.flush()
                self.count(len(payload[at:at + chunk]))
                time.sleep(chunk / rate)
            return
        self.count(len(payload))
        self.wfile.write(payload)

    def count(self, sent):
        with self.state.lock:
            self.state.sent += sent

    def endless(self, payload):
        """The body and then blanks until the client goes (or 10 minutes)."""
        filler = b' ' * 65536
        deadline = time.time() + 600
        try:
            self.wfile.write(payload)
            while time.time() < deadline:
                self.wfile.write(filler)
        except OSError:
            pass

    def hang(self):
        """Keeps the connection open without a byte until the client goes (or 10 minutes)."""
        self.wfile.flush()
        self.connection.settimeout(0.2)
        deadline = time.time() + 600
        while time.time() < deadline:
            try:
                if self.connection.recv(1024, socket.MSG_PEEK) == b'':
                    return
            except socket.timeout:
                continue
            except OSError:
                return
            time.sleep(0.2)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--releases', default='.', help='folder of release trees, one per version')
    parser.add_argument('--reasons', help='JSON reply of the uninstall-reason list')
    parser.add_argument('--record', help='append channel reports and feedback posts here, a JSON line each')
    parser.add_argument('--log', help='append every request here, a JSON line each')
    parser.add_argument('--fault', action='append', default=[], help='KIND[:ARG][@MATCH]')
    parser.add_argument('--port', type=int, default=0)
    args = parser.parse_args()

    server = ThreadingHTTPServer(('127.0.0.1', args.port), Handler)
    server.daemon_threads = True
    server.state = State(args)
    server.state.base = f'http://127.0.0.1:{server.server_address[1]}'
    print(f'refserver {server.state.base}', flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == '__main__':
    main()
