#!/usr/bin/env python3
"""What a chain of updates keeps, reuses, rolls back and repairs, against the real programs.

  retention_table.py --bin BUILD/bin --sandbox DIR

One machine goes through the rows in order, from an install of 2.1.0 (releases 2.2.0 and
2.3.0 in the service): each row runs a program silently and checks the exit code, the
versions of the folders left in the product folder, the version in place (the uninstall
entry) and which release files the service sent. Prints a JSON report; exit code 1 when a
row failed.
"""
import json
import os
import subprocess
import sys
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lifecycle  # noqa: E402
import placement_faults  # noqa: E402

MACHINE_KEY = r'HKEY_LOCAL_MACHINE\Software\Quorlan\NimbraPVX'
# A folder of the product folder that no record names: never ours to remove.
STRANGER = '2.0.0.00001'


def folders(m):
    return sorted(name for name in os.listdir(m.product) if name != STRANGER)


def in_place(m):
    return os.path.basename(m.installed())


def fetched(m, before):
    """The release files the service sent since before (a count of its log's lines)."""
    entries = lifecycle.requests(m.server_log)[before:]
    return sorted(os.path.basename(e['query']['path']) for e in entries if e['path'].startswith('/stream/'))


def program(m, *args):
    installed = m.installed()
    return subprocess.run([os.path.join(installed, 'update'), '--silent'] + list(args), cwd=installed, env=m.box.env,
                          capture_output=True, timeout=120).returncode


def update(version):
    return lambda m: program(m, version)


def rollback(m):
    return program(m, '--rollback')


def rollback_offline(m):
    m.server.kill()
    m.server.wait()
    try:
        return program(m, '--rollback')
    finally:
        m.start_service()


def install(m):
    os.makedirs(os.path.join(m.product, STRANGER), exist_ok=True)
    open(os.path.join(m.product, STRANGER, 'NimbraClient.exe'), 'w').write('an earlier hand-made copy\n')
    return subprocess.run([os.path.join(m.package, 'install'), '--silent'], cwd=m.package, env=m.box.env,
                          capture_output=True, timeout=120).returncode


def repair_spoiled(m):
    # A file of this version only: another kept version's copy would serve.
    with open(os.path.join(m.installed(), 'plugins', 'scene-2.2.0.dll'), 'r+b') as f:
        f.write(b'spoiled')
    return program(m, '2.2.0')


def keep(versions, then):
    def row(m):
        m.box.reg('set', MACHINE_KEY, 'KeepVersions', str(versions))
        return then(m)
    return row


def chain(*steps):
    def row(m):
        for step in steps:
            code = step(m)
            if code:
                return code
        return 0
    return row


# name, what runs, its exit code, the versions of the folders left (oldest first by name),
# the version in place, the release files fetched (None: not counted)
ROWS = [
    ('install', install, 0, ['2.1.0'], '2.1.0', None),
    ('update', update('2.2.0'), 0, ['2.1.0', '2.2.0'], '2.2.0', None),
    ('update-removes-oldest', update('2.3.0'), 0, ['2.2.0', '2.3.0'], '2.3.0', None),
    ('update-to-kept-fetches-nothing', update('2.2.0'), 0, ['2.2.0', '2.3.0'], '2.2.0', []),
    ('rollback-without-service', rollback_offline, 0, ['2.2.0', '2.3.0'], '2.3.0', []),
    ('rollback-of-rollback', rollback, 0, ['2.2.0', '2.3.0'], '2.2.0', []),
    ('repair-fetches-spoiled-only', repair_spoiled, 0, ['2.2.0', '2.3.0'], '2.2.0', ['scene-2.2.0.dll']),
    ('keep-one', keep(1, update('2.3.0')), 0, ['2.3.0'], '2.3.0', []),
    ('nothing-to-roll-back', rollback, 16, ['2.3.0'], '2.3.0', []),
    ('keep-every-one', keep(0, chain(update('2.2.0'), update('2.3.0'))), 0, ['2.2.0', '2.3.0', '2.3.0'], '2.3.0',
     None),
]


class Machine(placement_faults.Machine):
    port = 0

    def start_service(self):
        """The reference service, on the same port when started again: the releases name it."""
        self.server_log = self.box.path('tmp', 'requests.jsonl')
        self.server = subprocess.Popen(
            [sys.executable, os.path.join(lifecycle.TOP, 'tools', 'refserver', 'refserver.py'), '--releases',
             self.box.path('releases'), '--log', self.server_log, '--port', str(self.port)],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=self.box.env)
        self.box.processes.append(self.server)
        self.service = self.server.stdout.readline().decode().split()[1]
        self.port = int(self.service.rsplit(':', 1)[1])

    def server_control(self, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request(self.service + path, data=data, method='POST' if data else 'GET')
        with urllib.request.urlopen(request, timeout=10) as reply:
            return json.loads(reply.read() or b'{}')

    def server_sent(self):
        """The body bytes the service has sent since it started."""
        return self.server_control('/_control/sent')['bytes']


def run_rows(m, report):
    m.start_service()
    m.package = lifecycle.stage(m.box, 'standard', 'zh', m.service, 'script')
    for name, row, code, versions, current, files in ROWS:
        before = len(lifecycle.requests(m.server_log))
        result = {'code': row(m)}
        result['folders'] = [name.rsplit('.', 1)[0] for name in folders(m)]
        result['in_place'] = in_place(m).rsplit('.', 1)[0]
        result['fetched'] = fetched(m, before)
        result['stranger_kept'] = os.path.isdir(os.path.join(m.product, STRANGER))
        result['ok'] = result['code'] == code and result['folders'] == versions and result['in_place'] == current \
            and (files is None or result['fetched'] == files) and result['stranger_kept']
        report[name] = result


if __name__ == '__main__':
    sys.exit(placement_faults.table_main(__doc__, Machine, run_rows))
