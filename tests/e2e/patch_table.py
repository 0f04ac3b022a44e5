#!/usr/bin/env python3
"""Binary patches from publishing to the installed file, against the real programs.

  patch_table.py --bin BUILD/bin --sandbox DIR

Release 2.1.0 (the package) and 2.2.0 are published with tools/publish into the service's
root; 2.2.0 changes a few bytes of one file, renames and changes another, replaces a
third whole and brings a new one. Each row starts from 2.1.0 installed, may spoil what is
published, runs `update --silent 2.2.0` and checks the exit code, the files the service
sent, and that every installed file is the release's. Prints a JSON report; exit code 1
when a row failed.
"""
import hashlib
import os
import random
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ElementTree
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lifecycle  # noqa: E402
import placement_faults  # noqa: E402
from retention_table import Machine, fetched  # noqa: E402

PUBLISH = os.path.join(lifecycle.TOP, 'tools', 'publish', 'publish')


def noise(size, seed):
    return random.Random(seed).randbytes(size)


def changed(data, at, size, seed):
    return data[:at] + noise(size, seed) + data[at + size:]


BIG = noise(4 << 20, 1)
RENAMED = noise(1 << 20, 2)
OLD = {'data/big.dll': BIG, 'data/old-name.dll': RENAMED, 'data/whole.dll': noise(256 << 10, 3)}
NEW = {'data/big.dll': changed(BIG, 1 << 20, 64 << 10, 4), 'data/new-name.dll': changed(RENAMED, 4096, 8192, 5),
       'data/whole.dll': noise(256 << 10, 6), 'data/new.dll': noise(64 << 10, 7)}


def publish(m, version, tree):
    subprocess.run([PUBLISH, m.box.path('releases'), version, tree, '--prefix', '{server}/stream/'],
                   env=dict(m.box.env, MKVERSION=os.path.join(m.box.bin, 'mkversion')), check=True, capture_output=True)


def prepare(m):
    """2.1.0 installed from a package that carries OLD; 2.1.0 and 2.2.0 published."""
    shutil.rmtree(m.box.path('releases'))
    tree = m.box.path('tmp', 'tree-2.1.0')
    with zipfile.ZipFile(os.path.join(m.package, 'files.zip'), 'a') as z:
        for name, data in OLD.items():
            z.writestr(name, data)
        z.extractall(tree)
    publish(m, '2.1.0', tree)
    new_tree = m.box.path('tmp', 'tree-2.2.0')
    shutil.copytree(tree, new_tree)
    for name in OLD:
        os.remove(os.path.join(new_tree, name))
    for name, data in NEW.items():
        open(os.path.join(new_tree, name), 'wb').write(data)
    publish(m, '2.2.0', new_tree)
    m.new_tree = new_tree
    code = subprocess.run([os.path.join(m.package, 'install'), '--silent'], cwd=m.package, env=m.box.env,
                          capture_output=True, timeout=120).returncode
    if code:
        raise RuntimeError('install ended with %d' % code)


def released(m, *parts):
    return m.box.path('releases', '2.2.0', *parts)


def spoil_patch(m):
    path = released(m, 'patches', '2.1.0', 'data', 'big.dll.patch')
    data = bytearray(open(path, 'rb').read())
    data[len(data) // 2] ^= 0xff
    open(path, 'wb').write(bytes(data))


def wrong_base(m):
    """big.dll's patch is another file's patch, listed with its own hash and size: it hashes
    right and decodes against the wrong base."""
    other = released(m, 'patches', '2.1.0', 'data', 'new-name.dll.patch')
    data = open(other, 'rb').read()
    open(released(m, 'patches', '2.1.0', 'data', 'big.dll.patch'), 'wb').write(data)
    version = ElementTree.parse(released(m, 'version.xml'))
    for item in version.iter('file'):
        for patch in item.iter('patch'):
            if item.get('name') == 'big.dll':
                patch.set('hashCode', hashlib.sha1(data).hexdigest())
                patch.set('size', str(len(data)))
    version.write(released(m, 'version.xml'))


def update(m, log=None):
    installed = m.installed()
    return subprocess.run([os.path.join(installed, 'update'), '--silent', '2.2.0'] + (['--log', log] if log else []),
                          cwd=installed, env=m.box.env, capture_output=True, timeout=120).returncode


def cut_then_again(m):
    """The first run fails naming what failed in its log; the next goes on with a range."""
    patch = os.path.getsize(released(m, 'patches', '2.1.0', 'data', 'big.dll.patch'))
    m.server_control('/_control/fault', {'kind': 'cut', 'arg': str(patch // 2), 'match': 'big.dll.patch', 'times': 1})
    log = m.box.path('tmp', 'cut.log')
    first = update(m, log)
    told = [line for line in open(log, encoding='utf-8')
            if 'download failed: ' + m.service in line and 'big.dll.patch' in line and 'HTTP 200' in line]
    if not told:
        return 'failure not logged'
    before = len(lifecycle.requests(m.server_log))
    code = update(m)
    ranged = [e for e in lifecycle.requests(m.server_log)[before:]
              if e['path'].startswith('/stream/') and e['query']['path'].endswith('big.dll.patch')]
    return code if first == 12 and ranged and all(e.get('range') for e in ranged) else 'not resumed'


def installed_right(m):
    """Every file of the release, as published, in the folder put in place."""
    installed = m.installed()
    return all(open(os.path.join(installed, name), 'rb').read() == data for name, data in NEW.items())


def earlier_updaters_read_files_only(m):
    """An updater without patches takes every element below a section for a file: each is
    one, with its name, path and hash; the patches lie below them."""
    root = ElementTree.parse(released(m, 'version.xml')).getroot()
    entries = [element for section in root for element in section if section.tag in ('files', 'plugins')]
    patches = [p for e in entries for p in e.iter('patch')]
    return all(e.tag == 'file' and e.get('hashCode') for e in entries) and len(patches) >= 2


def patched_files(m):
    root = ElementTree.parse(released(m, 'version.xml')).getroot()
    return sorted(item.get('name') for item in root.iter('file') if item.find('patch') is not None)


# name, what is done to the published release first, how the update is run, the release
# files the service must send (the last run's)
ROWS = [
    ('base-by-name-by-content-or-none', None, update, ['big.dll.patch', 'new-name.dll.patch', 'new.dll', 'whole.dll']),
    ('spoiled-patch-whole-once', spoil_patch, update,
     ['big.dll', 'big.dll.patch', 'new-name.dll.patch', 'new.dll', 'whole.dll']),
    ('base-not-what-the-patch-expects', wrong_base, update,
     ['big.dll', 'big.dll.patch', 'new-name.dll.patch', 'new.dll', 'whole.dll']),
    ('cut-patch-resumed', None, cut_then_again, None),
]


def run_row(m, spoil, run, files):
    if spoil:
        spoil(m)
    before = len(lifecycle.requests(m.server_log))
    code = run(m)
    sent = fetched(m, before)
    result = {'code': code, 'fetched': sent, 'installed_right': code == 0 and installed_right(m)}
    result['ok'] = code == 0 and result['installed_right'] and (files is None or sent == files)
    return result


def run_rows(m, report):
    m.start_service()
    m.package = lifecycle.stage(m.box, 'standard', 'zh', m.service, 'script')
    prepare(m)
    patched = patched_files(m)
    report['published'] = {'patched': patched, 'ok': patched == ['big.dll', 'new-name.dll']}
    report['earlier-updaters'] = {'ok': earlier_updaters_read_files_only(m)}
    m.box.stop_all()
    m.save('installed')
    for name, spoil, run, files in ROWS:
        m.restore('installed')
        m.start_service()
        try:
            report[name] = run_row(m, spoil, run, files)
        finally:
            m.box.stop_all()


if __name__ == '__main__':
    sys.exit(placement_faults.table_main(__doc__, Machine, run_rows))
