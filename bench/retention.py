#!/usr/bin/env python3
"""(e) What updates leave on disk and what going back costs, with the real programs.

  bench/retention.py --bin BUILD/bin --sandbox DIR [--mib 100] [--files 3000]

Disk: a client of --mib MiB (50 files) installed and updated eight times, each release
changing five of its files: the product folder against one version folder. Rollback: a
version of --files files, updated once, then `update --rollback`: its time to done (the
whole process) against the placement part of the update before it (from the update's log:
the version folder renamed into place to the process's end). Bytes on the wire of an update
back to the kept previous version, against a fetch of the version file alone.
"""
import argparse
import datetime
import os
import shutil
import subprocess
import sys
import time
import urllib.request
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import lifecycle  # noqa: E402
from retention_table import Machine  # noqa: E402


def size_of(path):
    return sum(os.lstat(os.path.join(root, f)).st_size for root, _, files in os.walk(path) for f in files)


def payload(count, size, seed):
    return {'data/part%04d.bin' % i: os.urandom(size) for i in range(count)} | {'seed': seed.encode()}


def publish(m, version, files):
    """A release of the demo programs and client with files added."""
    base = m.box.path('releases', '2.2.0', 'files')
    tree = m.box.path('releases', version, 'files')
    shutil.rmtree(os.path.dirname(tree), ignore_errors=True)
    shutil.copytree(base, tree)
    for name, data in files.items():
        os.makedirs(os.path.dirname(os.path.join(tree, name)) or tree, exist_ok=True)
        open(os.path.join(tree, name), 'wb').write(data)
    subprocess.run([os.path.join(m.box.bin, 'mkversion'), '--version', version, '--prefix', '{server}/stream/',
                    '-o', m.box.path('releases', version, 'version.xml'), tree], check=True, capture_output=True)


def add_to_package(m, files):
    with zipfile.ZipFile(os.path.join(m.package, 'files.zip'), 'a') as z:
        for name, data in files.items():
            z.writestr(name, data)


def timed(argv, cwd, env):
    start = time.monotonic()
    out = subprocess.run(argv, cwd=cwd, env=env, capture_output=True, timeout=600)
    if out.returncode:
        raise RuntimeError('%s ended with %d: %s' % (' '.join(argv), out.returncode, out.stderr.decode()))
    return time.monotonic() - start, datetime.datetime.now(datetime.timezone.utc)


def update(m, *args, log=None):
    installed = m.installed()
    return timed([os.path.join(installed, 'update'), '--silent'] + (['--log', log] if log else []) + list(args),
                 installed, m.box.env)


def fresh(m, root):
    shutil.rmtree(root, ignore_errors=True)
    machine = Machine(root, m, None)
    machine.start_service()
    machine.package = lifecycle.stage(machine.box, 'standard', 'zh', machine.service, 'script')
    return machine


def disk(args):
    m = fresh(args.bin, os.path.join(args.sandbox, 'disk'))
    try:
        count, each = 50, (args.mib << 20) // 50
        files = payload(count, each, '2.1.0')
        add_to_package(m, files)
        timed([os.path.join(m.package, 'install'), '--silent'], m.package, m.box.env)
        for n in range(8):
            version = '2.%d.0' % (n + 4)
            for i in range(5):
                files['data/part%04d.bin' % ((n * 5 + i) % count)] = os.urandom(each)
            files['seed'] = version.encode()
            publish(m, version, files)
            update(m, version)
        product, one = size_of(m.product), size_of(m.installed())
        print('(e) disk after an install and 8 updates of a %d MiB client: %.1f MiB, %.2fx one version '
              '(goal <= 2.2; before: 9 folders)' % (args.mib, product / 2**20, product / one))
    finally:
        m.box.stop_all()


def rollback(args):
    m = fresh(args.bin, os.path.join(args.sandbox, 'rollback'))
    try:
        timed([os.path.join(m.package, 'install'), '--silent'], m.package, m.box.env)
        files = payload(args.files, 16 << 10, '2.4.0')
        publish(m, '2.4.0', files)
        update(m, '2.4.0')
        files['seed'] = b'2.5.0'
        publish(m, '2.5.0', files)
        log = m.box.path('tmp', 'update.log')
        _, ended = update(m, '2.5.0', log=log)
        placed = [line.split('\t')[0] for line in open(log, encoding='utf-8')
                  if '\twrite\tdir\tok\t' in line and line.rstrip().endswith(os.path.basename(m.installed()))]
        started = datetime.datetime.strptime(placed[-1], '%Y-%m-%dT%H:%M:%S.%fZ').replace(tzinfo=datetime.timezone.utc)
        placement = (ended - started).total_seconds()
        back, _ = update(m, '--rollback')
        print('(e) rollback of a %d-file version: %.2f s to done (goal <= 5 s), against %.2f s for the placement part '
              'of an update: %.2fx' % (args.files, back, placement, back / placement))
        before = m.server_sent()
        update(m, '2.5.0')
        wire = m.server_sent() - before
        # The version file alone, counted by the service the same way.
        with urllib.request.urlopen(m.service + '/getVersionFile.htm?version=2.5.0', timeout=10) as reply:
            reply.read()
        version_file = m.server_sent() - before - wire
        print('(e) update to the kept previous version: %d bytes on the wire, %.3fx the version file alone '
              '(goal: 1.000)' % (wire, wire / version_file))
    finally:
        m.box.stop_all()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--bin', required=True)
    parser.add_argument('--sandbox', required=True)
    parser.add_argument('--mib', type=int, default=100)
    parser.add_argument('--files', type=int, default=3000)
    args = parser.parse_args()
    args.bin = os.path.abspath(args.bin)
    disk(args)
    rollback(args)
    return 0


if __name__ == '__main__':
    sys.exit(main())
