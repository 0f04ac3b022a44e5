#!/usr/bin/env python3
"""(f) Updates by binary patches, on Windows binaries others publish (npm), end to end.

  bench/patches.py --bin BUILD/bin --sandbox DIR [--cache DIR]

For each pair of npm packages (fetched once with `npm pack` into the cache, outside the
clone): the package's files go into the client as release 2.1.0, installed; 2.1.0 and then
2.2.0 (the newer package) are published with tools/publish into one root that nginx serves
with the publisher's template; `update --silent 2.2.0`. Prints the bytes on the wire against
the bytes of the changed files (and what `zstd -19 --patch-from` alone makes of the same
pairs), the updater's peak RSS against the largest file + 96 MiB, the time of applying each
patch as a process (bench_patch) against `zstd -d --patch-from`, and how long publishing
2.2.0 took.
"""
import argparse
import glob
import hashlib
import os
import re
import shutil
import socket
import subprocess
import sys
import tarfile
import time
import xml.etree.ElementTree as ElementTree
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import lifecycle  # noqa: E402
from retention_table import Machine  # noqa: E402

PUBLISH = os.path.join(lifecycle.TOP, 'tools', 'publish', 'publish')
TEMPLATE = os.path.join(lifecycle.TOP, 'tools', 'publish', 'nginx.conf')
PAIRS = [('@img/sharp-win32-x64', '0.34.4', '0.34.5'), ('@esbuild/win32-x64', '0.24.1', '0.24.2')]


def package(cache, name, version):
    """The npm package's files, unpacked once into the cache."""
    tgz = os.path.join(cache, '%s-%s.tgz' % (name.lstrip('@').replace('/', '-'), version))
    unpacked = tgz[:-4]
    if not os.path.isdir(unpacked):
        if not os.path.isfile(tgz):
            subprocess.run(['npm', 'pack', '%s@%s' % (name, version), '--pack-destination', cache], check=True,
                           capture_output=True, timeout=600)
        with tarfile.open(tgz) as archive:
            archive.extractall(unpacked + '.tmp', filter='data')
        os.rename(unpacked + '.tmp', unpacked)
    return os.path.join(unpacked, 'package')


def files_of(tree):
    return {os.path.relpath(os.path.join(root, f), tree): os.path.join(root, f)
            for root, _, names in os.walk(tree) for f in names}


def digest(path):
    return hashlib.sha1(open(path, 'rb').read()).hexdigest()


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def start_nginx(box, root):
    prefix = box.path('nginx')
    os.makedirs(os.path.join(prefix, 'tmp'), exist_ok=True)
    port = free_port()
    conf = open(TEMPLATE).read().replace('@PREFIX@', prefix).replace('@LISTEN@', '127.0.0.1:%d' % port) \
        .replace('@TLS@', '').replace('@ROOT@', root) \
        .replace('http {', "http {\n    log_format bytes '$arg_path $status $body_bytes_sent';") \
        .replace('access_log off;', 'access_log %s/access.log bytes;' % prefix)
    open(os.path.join(prefix, 'nginx.conf'), 'w').write(conf)
    box.processes.append(subprocess.Popen(['nginx', '-p', prefix, '-c', os.path.join(prefix, 'nginx.conf')],
                                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    lifecycle.wait_for(lambda: socket.socket().connect_ex(('127.0.0.1', port)) == 0, 10, 'nginx')
    return 'http://127.0.0.1:%d' % port, os.path.join(prefix, 'access.log')


def wire(log):
    return sum(int(line.split()[-1]) for line in open(log)) if os.path.exists(log) else 0


def timed(argv, env=None):
    start = time.monotonic()
    subprocess.run(argv, env=env, check=True, capture_output=True)
    return time.monotonic() - start


def patches_of(release, old):
    """(base file, patch file) for each patch 2.2.0 lists against 2.1.0."""
    by_hash = {digest(path): path for path in files_of(old).values()}
    pairs = []
    for patch in ElementTree.parse(os.path.join(release, 'version.xml')).getroot().iter('patch'):
        if patch.get('path').startswith('/2.1.0/') and patch.get('base') in by_hash:
            pairs.append((by_hash[patch.get('base')],
                          os.path.join(release, 'patches', patch.get('path').strip('/'), patch.get('name'))))
    return pairs


def apply_times(args, pairs, out):
    """Best of three, each side as a process, alternating."""
    ours, theirs = [], []
    for _ in range(3):
        ours.append(sum(timed([os.path.join(args.bench, 'bench_patch'), base, patch, out]) for base, patch in pairs))
        theirs.append(sum(timed(['zstd', '-q', '-f', '-d', '--memory=2048MB', '--patch-from=' + base, patch, '-o', out])
                          for base, patch in pairs))
    return min(ours), min(theirs)


def zstd_alone(pairs_of_files, work):
    """What zstd -19 --patch-from makes of the same base and file pairs."""
    total = 0
    for base, new in pairs_of_files:
        out = os.path.join(work, 'alone.zst')
        subprocess.run(['zstd', '-q', '-f', '-19', '--long=30', '--patch-from=' + base, new, '-o', out], check=True,
                       capture_output=True)
        total += os.path.getsize(out)
    return total


def bench_pair(args, name, old_version, new_version):
    old = package(args.cache, name, old_version)
    new = package(args.cache, name, new_version)
    root = os.path.join(args.sandbox, re.sub(r'\W', '-', name))
    shutil.rmtree(root, ignore_errors=True)
    m = Machine(root, args.bin, None)
    try:
        releases = m.box.path('releases')
        url, log = start_nginx(m.box, releases)
        m.package = lifecycle.stage(m.box, 'standard', 'zh', url, 'script')
        shutil.rmtree(releases)
        os.makedirs(releases)
        tree = m.box.path('tmp', 'tree-2.1.0')
        with zipfile.ZipFile(os.path.join(m.package, 'files.zip'), 'a') as z:
            for relative, path in files_of(old).items():
                z.write(path, 'npm/' + relative)
            z.extractall(tree)
        new_tree = m.box.path('tmp', 'tree-2.2.0')
        shutil.copytree(tree, new_tree)
        shutil.rmtree(os.path.join(new_tree, 'npm'))
        shutil.copytree(new, os.path.join(new_tree, 'npm'))
        env = dict(m.box.env, MKVERSION=os.path.join(args.bin, 'mkversion'))
        subprocess.run([PUBLISH, releases, '2.1.0', tree, '--prefix', url + '/stream/'], env=env, check=True,
                       capture_output=True)
        publish_time = timed([PUBLISH, releases, '2.2.0', new_tree, '--prefix', url + '/stream/'], env)
        subprocess.run([os.path.join(m.package, 'install'), '--silent'], cwd=m.package, env=m.box.env,
                       capture_output=True, timeout=300, check=True)
        before = wire(log)
        installed = m.installed()
        updater = subprocess.Popen([os.path.join(installed, 'update'), '--silent', '2.2.0'], cwd=installed,
                                   env=m.box.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(updater.pid, 0)
        updater.returncode = os.waitstatus_to_exitcode(status)
        if updater.returncode:
            raise RuntimeError('update ended with %d' % updater.returncode)
        on_wire = wire(log) - before
        old_files, new_files = files_of(old), files_of(new)
        changed = {rel: path for rel, path in new_files.items()
                   if rel not in old_files or digest(old_files[rel]) != digest(path)}
        changed_bytes = sum(os.path.getsize(path) for path in changed.values())
        largest = max(os.path.getsize(path) for path in new_files.values())
        pairs = patches_of(os.path.join(releases, '2.2.0'), os.path.join(tree, 'npm'))
        by_base = {}
        for patch in ElementTree.parse(os.path.join(releases, '2.2.0', 'version.xml')).getroot().iter('file'):
            for p in patch.iter('patch'):
                by_base.setdefault(p.get('base'), os.path.join(new_tree, patch.get('path').strip('/'),
                                                               patch.get('name')))
        alone = zstd_alone([(base, by_base[digest(base)]) for base, _ in pairs], m.box.path('tmp'))
        ours, theirs = apply_times(args, pairs, m.box.path('tmp', 'applied'))
        label = '%s %s -> %s' % (name, old_version, new_version)
        print('(f) %s: %d changed files, %.2f MB; on the wire %.2f MB: %.3f of the changed bytes '
              '(goal <= 0.075; zstd -19 --patch-from alone: %.3f)'
              % (label, len(changed), changed_bytes / 1e6, on_wire / 1e6, on_wire / changed_bytes,
                 alone / changed_bytes))
        print('(f) %s: updater peak RSS %.1f MiB against the largest file + 96 MiB = %.1f MiB; applying %d patches '
              '%.2f s, %.2fx zstd -d --patch-from (%.2f s); publishing 2.2.0 took %.1f s'
              % (label, usage.ru_maxrss / 1024, largest / 2**20 + 96, len(pairs), ours, ours / theirs, theirs,
                 publish_time))
    finally:
        m.box.stop_all()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--bin', required=True, help='the programs and mkversion')
    parser.add_argument('--bench', required=True, help='where bench_patch is')
    parser.add_argument('--sandbox', required=True)
    parser.add_argument('--cache', default=os.path.join(os.environ.get('XDG_CACHE_HOME') or
                                                        os.path.expanduser('~/.cache'), 'clientlifecycle-bench', 'npm'))
    args = parser.parse_args()
    args.bin, args.bench = os.path.abspath(args.bin), os.path.abspath(args.bench)
    os.makedirs(args.cache, exist_ok=True)
    if not shutil.which('npm') and not glob.glob(os.path.join(args.cache, '*', 'package')):
        print('(f) skipped: the packages are fetched with npm, which is not installed')
        return 0
    for name, old, new in PAIRS:
        bench_pair(args, name, old, new)
    return 0


if __name__ == '__main__':
    sys.exit(main())
