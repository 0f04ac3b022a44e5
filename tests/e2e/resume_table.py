#!/usr/bin/env python3
"""Interrupted updates go on where they stopped, against the real updater in a sandbox.

  resume_table.py --bin BUILD/bin --sandbox DIR [--size MIB]

Release 2.2.0 carries a large file. Each row ends a first `update --silent 2.2.0` half way
in its own way (the service killed, the connection reset, the updater killed), sometimes
changes something before the rerun (the file's validator, a server that ignores Range, a
spoiled part on disk), runs the update again and reports the bytes the rerun fetched, the
final hash, stale parts, and the version folders left. Prints a JSON report; exit code 1
when a row failed. bench/resume.py measures with the same machinery.
"""
import argparse
import hashlib
import json
import os
import shutil
import signal
import subprocess
import sys
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import placement_faults  # noqa: E402

lifecycle = placement_faults.lifecycle
BIG = 'big.bin'


class Service:
    """The reference service on a fixed port, to be killed and started again."""

    def __init__(self, box, port=0):
        self.box, self.process, self.port = box, None, port
        self.start()

    def start(self):
        self.process = subprocess.Popen(
            [sys.executable, os.path.join(lifecycle.TOP, 'tools', 'refserver', 'refserver.py'), '--releases',
             self.box.path('releases'), '--port', str(self.port)], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            env=self.box.env)
        self.url = self.process.stdout.readline().decode().split()[1]
        self.port = int(self.url.rsplit(':', 1)[1])

    def kill(self):
        self.process.kill()
        self.process.wait()

    def control(self, path, body=None):
        request = urllib.request.Request(self.url + path, data=body, method='POST' if body else 'GET')
        return json.loads(urllib.request.urlopen(request, timeout=10).read() or b'{}')

    def sent(self):
        return self.control('/_control/sent')['bytes']

    def fault(self, kind, arg='', match=BIG, times=1):
        self.control('/_control/fault', json.dumps({'kind': kind, 'arg': arg, 'match': match, 'times': times}).encode())


def part_of(m):
    found = [os.path.join(root, f) for root, _, files in os.walk(m.product) for f in files if f == BIG + '.part']
    return found[0] if found else None


def update(m, wait_for_half=None):
    """Runs the updater; with wait_for_half, something ends it once half the file is on disk."""
    argv, cwd = m.command('update')
    process = subprocess.Popen(argv + ['--silent'], cwd=cwd, env=m.box.env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    if wait_for_half:
        deadline = time.time() + 60
        while time.time() < deadline and process.poll() is None:
            part = part_of(m)
            if part and os.path.getsize(part) >= m.size // 2:
                wait_for_half(process)
                break
            time.sleep(0.01)
    return process.wait(120)


def final_state(m):
    folders = sorted(f for f in os.listdir(m.product) if f.startswith('2.2.0'))
    stale = [os.path.join(r, f) for r, _, files in os.walk(m.product) for f in files if '.part' in f]
    big = os.path.join(m.product, folders[0], BIG) if len(folders) == 1 else ''
    digest = hashlib.sha1(open(big, 'rb').read()).hexdigest() if os.path.isfile(big) else None
    return folders, stale, digest


def row(m, name, first, between=None):
    m.restore('update')
    m.service = Service(m.box, m.port)
    m.first_sent = None
    try:
        first_code = first(m)
        if m.first_sent is None:
            m.first_sent = m.service.sent()
        if between:
            between(m)
        part = part_of(m)
        kept = os.path.getsize(part) if part else 0
        before = m.service.sent()
        code = update(m)
        fetched = m.service.sent() - before
    finally:
        m.service.kill()
    folders, stale, digest = final_state(m)
    return {'row': name, 'first': first_code, 'rerun': code, 'kept_mib': round(kept / 2**20, 2),
            'fetched_mib': round(fetched / 2**20, 2), 'missing_mib': round((m.size - kept) / 2**20, 2),
            'served_ratio': round((m.first_sent + fetched) / m.size, 3),
            'folders': folders, 'stale': stale, 'hash_ok': digest == m.digest}


def cut(m):
    m.service.fault('cut', str(m.size // 2))
    return update(m)


# Slowed, so that what is cut is really not yet on its way.
def service_killed(m):
    def kill(_):
        m.first_sent = m.service.sent()
        m.service.kill()
    m.service.fault('slow', str(m.size * 2))
    code = update(m, kill)
    m.service.start()
    return code


def updater_killed(m):
    m.service.fault('slow', str(m.size * 2))
    return update(m, lambda process: process.send_signal(signal.SIGKILL))


def new_validator(m):
    later = time.time() + 5
    os.utime(os.path.join(m.box.path('releases'), '2.2.0', 'files', BIG), (later, later))


def ranges_ignored(m):
    m.service.fault('norange')


def spoil_part(m):
    with open(part_of(m), 'r+b') as f:
        f.seek(1000)
        f.write(b'spoiled')


# name, how the first attempt ends, what happens before the rerun, what the rerun must
# fetch of the large file: the missing rest, the whole, or the rest and then the whole
ROWS = [('service-killed', service_killed, None, 'rest'), ('connection-reset', cut, None, 'rest'),
        ('updater-killed', updater_killed, None, 'rest'), ('validator-changed', cut, new_validator, 'whole'),
        ('server-ignores-range', cut, ranges_ignored, 'whole'), ('part-spoiled', cut, spoil_part, 'rest+whole')]
# The release's small files that an interrupted first attempt had not fetched yet.
SMALL_FILES = 2 * 2**20


def publish(m, names):
    tree = m.box.path('releases', '2.2.0', 'files')
    each = m.size // len(names)
    for name in names:
        data = os.urandom(each)
        open(os.path.join(tree, name), 'wb').write(data)
        m.digest = hashlib.sha1(data).hexdigest()
    subprocess.run([os.path.join(m.box.bin, 'mkversion'), '--version', '2.2.0', '--prefix', '{server}/stream/',
                    '-o', m.box.path('releases', '2.2.0', 'version.xml'), tree], check=True, capture_output=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--bin', required=True)
    parser.add_argument('--sandbox', required=True)
    parser.add_argument('--size', type=int, default=16, help='MiB of the large file')
    args = parser.parse_args()
    return run(args)


def prepare(args):
    """The machine before the update, with the large file in release 2.2.0."""
    shutil.rmtree(args.sandbox, ignore_errors=True)
    m = placement_faults.Machine(os.path.abspath(args.sandbox), args.bin, None)
    placement_faults.baseline(m)
    m.restore('update')
    m.size = args.size * 2**20
    publish(m, [BIG])
    m.box.stop_all()
    m.port = int(m.service.rsplit(':', 1)[1])
    m.save('update')
    return m


def run(args):
    report = {'rows': []}
    failed = 0
    m = None
    try:
        m = prepare(args)
        for name, first, between, fetch in ROWS:
            result = row(m, name, first, between)
            rest = result['missing_mib'] * 2**20
            due = {'rest': rest, 'whole': m.size, 'rest+whole': rest + m.size}[fetch]
            result['ok'] = result['rerun'] == 0 and result['hash_ok'] and not result['stale'] \
                and len(result['folders']) == 1 and result['kept_mib'] > 0 \
                and result['fetched_mib'] * 2**20 <= 1.02 * due + SMALL_FILES
            failed += not result['ok']
            report['rows'].append(result)
    except Exception as error:  # the report says what went wrong; every process still stops
        report['error'] = str(error)
        failed += 1
    finally:
        if m:
            m.box.stop_all()
    print(json.dumps(report, ensure_ascii=False, indent=1))
    for result in report['rows']:
        if not result['ok']:
            print('failed:', json.dumps(result), file=sys.stderr)
    if 'error' in report:
        print('error:', report['error'], file=sys.stderr)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
