#!/usr/bin/env python3
"""What an unattended run may trust, against the real programs in a sandbox.

  unattended_trust.py --bin BUILD/bin --sandbox DIR

Each row starts from a staged, uninstalled machine (the kill table's), runs the installer
the way the row says and checks one promise: the default log is a new private file, a
missing temporary folder is an error and not the root, a reader that goes away does not
end the run, extra arguments are a usage error, progress says done only at the end, log
fields cannot forge lines, one program at a time also without a runtime folder and with
one whose path is too long for a socket. Prints a JSON report; exit code 1 when a row failed.
"""
import argparse
import json
import os
import re
import shutil
import stat
import subprocess
import sys
import time
import urllib.request
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lifecycle  # noqa: E402
import placement_faults  # noqa: E402

# Control characters are refused in entry names; the line separators are not.
FORGED = 'evil\u2028# ended with 0\u2029.txt'


def installer(m):
    return os.path.join(m.package, 'install')


def run(m, argv, env=None, shell=False):
    return subprocess.run(argv, cwd=m.package, env=env or m.box.env, capture_output=True, timeout=120, shell=shell,
                          executable='/bin/bash' if shell else None)


def log_of(out):
    named = [line[5:] for line in out.stderr.decode().splitlines() if line.startswith('log: ')]
    return named[0] if named else None


def default_log_is_private(m):
    out = run(m, [installer(m), '--silent'])
    log = log_of(out)
    mode = os.lstat(log).st_mode if log else 0
    return {'code': out.returncode, 'log': log,
            'ok': out.returncode == 0 and stat.S_ISREG(mode) and stat.S_IMODE(mode) == 0o600
            and re.search(r'/install-\d{8}-\d{6}-[0-9a-f]{16}\.log$', log) is not None}


def missing_temp_folder_fails(m):
    env = dict(m.box.env, TMPDIR=m.box.path('no-such-folder'))
    out = run(m, [installer(m), '--silent'], env)
    return {'code': out.returncode, 'ok': out.returncode == 13 and not log_of(out)
            and m.installed() == ''}


def closed_reader_keeps_running(m):
    out = run(m, 'set -o pipefail; "%s" --silent --progress | head -c 1 >/dev/null; echo "${PIPESTATUS[0]}"'
              % installer(m), shell=True)
    code = out.stdout.decode().strip()
    return {'code': code, 'ok': code == '0' and m.installed() != ''}


def extra_argument_is_usage(m):
    out = run(m, [installer(m), '--silent', 'surplus'])
    return {'code': out.returncode, 'ok': out.returncode == 2 and m.installed() == ''}


def done_only_at_the_end(m):
    # Enough entries that three per point would reach 100 long before the last one.
    with zipfile.ZipFile(os.path.join(m.package, 'files.zip'), 'a') as z:
        for i in range(600):
            z.writestr('extra/f%04d.txt' % i, 'x')
    out = run(m, [installer(m), '--silent', '--progress'])
    lines = [json.loads(line) for line in out.stdout.decode().splitlines()]
    extract = [line['percent'] for line in lines if line['step'] == 'extract']
    return {'code': out.returncode, 'last': lines[-1] if lines else None,
            'ok': out.returncode == 0 and lines[-1] == {'step': 'done', 'percent': 100}
            and sum(1 for line in lines if line['step'] == 'done') == 1 and max(extract) <= 40}


def log_fields_cannot_forge_lines(m):
    with zipfile.ZipFile(os.path.join(m.package, 'files.zip'), 'a') as z:
        z.writestr(zipfile.ZipInfo(FORGED), 'x')
    out = run(m, [installer(m), '--silent'])
    text = open(log_of(out), encoding='utf-8').read() if log_of(out) else ''
    forged = [c for c in ('\u2028', '\u2029') if c in text]
    return {'code': out.returncode, 'forged': forged,
            'ok': out.returncode == 0 and not forged and 'evil%E2%80%A8# ended with 0%E2%80%A9.txt' in text}


def without_runtime_folder(m):
    env = dict(m.box.env)
    del env['XDG_RUNTIME_DIR']
    out = run(m, [installer(m), '--silent'], env)
    own = os.path.join(m.box.env['TMPDIR'], 'clientlifecycle-%d' % os.geteuid())
    first = out.stderr.decode().splitlines()[:1]
    return {'code': out.returncode, 'first': first,
            'ok': out.returncode == 0 and stat.S_IMODE(os.lstat(own).st_mode) == 0o700
            and first[0].startswith('log: ')}


def planted_runtime_folder(m):
    """Another user made the fallback folder first (here: open to everyone)."""
    env = dict(m.box.env)
    del env['XDG_RUNTIME_DIR']
    own = os.path.join(m.box.env['TMPDIR'], 'clientlifecycle-%d' % os.geteuid())
    os.makedirs(own, exist_ok=True)
    os.chmod(own, 0o777)
    out = run(m, [installer(m), '--silent'], env)
    return {'code': out.returncode, 'ok': out.returncode == 4 and m.installed() == ''
            and not os.path.exists(os.path.join(own, 'vantelo_install'))}


def guard_holds_with_long_runtime_path(m):
    """A runtime folder whose path is past the socket's limit: still one program at a time,
    while the first waits for its installation report."""
    runtime = m.box.path('tmp', 'r' * 120)
    os.makedirs(runtime, mode=0o700)
    env = dict(m.box.env, XDG_RUNTIME_DIR=runtime)
    fault = json.dumps({'kind': 'silent', 'match': 'clientChannelInfo'}).encode()
    urllib.request.urlopen(urllib.request.Request(m.service + '/_control/fault', fault), timeout=10).read()
    first = subprocess.Popen([installer(m), '--silent'], cwd=m.package, env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    try:
        placement_faults.lifecycle.wait_for(lambda: m.installed() != '', 30, 'the first installation')
        second = run(m, [installer(m), '--silent'], env)
    finally:
        first.kill()
        first.wait()
        urllib.request.urlopen(urllib.request.Request(m.service + '/_control/fault', method='DELETE'),
                               timeout=10).read()
    return {'code': second.returncode, 'ok': second.returncode == 4}


def dir_naming_a_file(m):
    target = m.box.path('tmp', 'a-file')
    open(target, 'w').write('not a folder\n')
    log = m.box.path('tmp', 'dir-file.log')
    out = run(m, [installer(m), '--silent', '--dir', target, '--log', log])
    changes = placement_faults.changes(log)
    return {'code': out.returncode, 'changes': changes,
            'ok': out.returncode == 15 and not any('\tok\t' in line for line in changes) and m.installed() == ''}


def every_folder_made_is_logged(m):
    target = m.box.path('tmp', 'deep', 'er')
    log = m.box.path('tmp', 'deep.log')
    out = run(m, [installer(m), '--silent', '--dir', target, '--log', log])
    made = [line.split('\t')[4].strip() for line in placement_faults.changes(log) if '\twrite\tdir\t' in line]
    wanted = [m.box.path('tmp', 'deep'), target, os.path.join(target, 'NimbraPVX')]
    return {'code': out.returncode, 'made': made[:4], 'ok': out.returncode == 0 and made[:3] == wanted}


def display_name_not_plain_is_told(m):
    ini = os.path.join(m.package, 'ZQ.ini')
    text = open(ini, 'rb').read()
    open(ini, 'wb').write(re.sub(rb'\nname=[^\r\n]*', b'\nname=a/b', text, count=1))
    out = run(m, [installer(m), '--silent'])
    return {'code': out.returncode, 'ok': out.returncode == 0 and 'No shortcuts' in out.stderr.decode()}


def another_account(program):
    """Installed by one account, updated or removed by another: this one has no record of
    the client, works from the machine's and is given none."""
    def row(m):
        if program == 'uninstall':
            m.uninstaller = m.installed()
        m.box.reg('remove', lifecycle.COMPANY, 'NimbraPVX')
        code, errors = m.run(program)
        result = {'code': code, 'errors': errors.splitlines()[1:3],
                  'account_record': m.box.reg('get', lifecycle.COMPANY + r'\NimbraPVX\Settings', 'InstallDir'),
                  'autorun': m.box.reg('get', lifecycle.RUN, 'NimbraClient.exe')}
        if program == 'update':
            client = os.path.join(m.installed(), 'NimbraClient.exe')
            result['ok'] = code == 0 and '2.2.0.' in m.installed() and os.access(client, os.X_OK)
        else:
            result['ok'] = code == 0 and not result['autorun'] and not m.installed() \
                and not os.path.exists(m.product)
        result['ok'] = result['ok'] and not result['account_record']
        return result
    row.__name__ = 'another_account_' + program + 's'
    return row


def removal_takes_the_empty_folder(m):
    """The folder the installer made in the program-files folder goes once it is empty; the
    program-files folder stays."""
    m.uninstaller = m.installed()
    made = os.path.dirname(m.product)
    os.remove(os.path.join(made, 'notes.txt'))
    code, _ = m.run('uninstall')
    # The script takes it right after the product folder.
    deadline = time.time() + 5
    while os.path.exists(made) and time.time() < deadline:
        time.sleep(0.05)
    return {'code': code, 'ok': code == 0 and not os.path.exists(made) and os.path.isdir(os.path.dirname(made))}


def setup_file(m, spoil=None):
    """The package inside a copy of the installer, alone in a downloads folder beside a
    version, a files.zip and a ZQ.ini that are not its own."""
    downloads = m.box.path('downloads')
    os.makedirs(downloads, exist_ok=True)
    setup = os.path.join(downloads, 'setup')
    subprocess.run([os.path.join(lifecycle.TOP, 'tools', 'mksetup', 'mksetup'), installer(m), m.package, setup],
                   check=True, capture_output=True)
    for name, text in (('version', '"9.9.9"'), ('files.zip', 'not an archive'), ('ZQ.ini', '[info]\nexe=evil.exe\n')):
        open(os.path.join(downloads, name), 'w').write(text)
    if spoil:
        spoil(setup)
    out = subprocess.run([setup, '--silent'], cwd=downloads, env=m.box.env, capture_output=True, timeout=120)
    left = [name for name in os.listdir(m.box.path('tmp')) if not name.endswith(('.log', '.jsonl'))]
    return out, left


def setup_file_alone_installs(m):
    out, left = setup_file(m)
    version = m.box.reg('get', lifecycle.UNINSTALL + r'\NimbraPVX', 'DisplayVersion')
    return {'code': out.returncode, 'version': version, 'left_in_temp': left,
            'ok': out.returncode == 0 and version == '2.1.0' and not left
            and os.path.isfile(os.path.join(m.installed(), 'NimbraClient.exe'))}


def cut_setup_file_refused(m):
    def cut(setup):
        data = open(setup, 'rb').read()
        open(setup, 'wb').write(data[:len(data) - 4096])
    out, left = setup_file(m, cut)
    return {'code': out.returncode, 'left_in_temp': left,
            'ok': out.returncode == 17 and not m.installed() and not left
            and '安装文件已损坏或不完整' in out.stderr.decode()}


ROWS = [default_log_is_private, missing_temp_folder_fails, closed_reader_keeps_running, extra_argument_is_usage,
        done_only_at_the_end, log_fields_cannot_forge_lines, without_runtime_folder, planted_runtime_folder,
        guard_holds_with_long_runtime_path, dir_naming_a_file, every_folder_made_is_logged, display_name_not_plain_is_told,
        setup_file_alone_installs, cut_setup_file_refused]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--bin', required=True)
    parser.add_argument('--sandbox', required=True)
    args = parser.parse_args()
    shutil.rmtree(args.sandbox, ignore_errors=True)
    m = placement_faults.Machine(os.path.abspath(args.sandbox), args.bin, None)
    rows = [(row.__name__, 'install', lambda row=row: row(m)) for row in ROWS]
    rows += [(row.__name__, program, lambda row=row: row(m))
             for program, row in (('update', another_account('update')), ('uninstall', another_account('uninstall')),
                                  ('uninstall', removal_takes_the_empty_folder))]
    return placement_faults.row_table(m, rows)


if __name__ == '__main__':
    sys.exit(main())
