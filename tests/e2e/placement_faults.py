#!/usr/bin/env python3
"""Kills and faults against the real programs' silent runs, in a sandbox.

  placement_faults.py --bin BUILD/bin --shim libfaultshim.so --sandbox DIR [--only kill|fault]

Kill table: for install, update, a rollback, an update back to the kept version (whose
retention removes a folder) and uninstall, and every k, the program is killed with
SIGKILL right after the k-th change line of its log, then run again: the machine must
end as after an uninterrupted run (version-folder names aside). Fault table: a full disk
where the registry or the product lives, a rename of the client or a registry commit
that fails: the run must end with its code and a message, no value of others may be lost,
and a rerun must finish the job. Prints a JSON report; exit code 1 when a row failed.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lifecycle  # noqa: E402

KEY = 'NimbraPVX'
PROGRAMS = ('install', 'update', 'rollback', 'reupdate', 'uninstall')
# program, fault, what the shim is told, the exit code the run must end with
FAULTS = [
    ('install', 'registry-disk-full', {'FAULT_ENOSPC': '/winreg/'}, 14),
    ('install', 'product-disk-full', {'FAULT_ENOSPC': '/programfiles/'}, 8),
    ('install', 'client-rename-fails', {'FAULT_RENAME': '/NimbraClient.exe'}, 9),
    ('install', 'registry-commit-fails', {'FAULT_RENAME': '/winreg/'}, 14),
    ('update', 'registry-disk-full', {'FAULT_ENOSPC': '/winreg/'}, 14),
    ('update', 'product-disk-full', {'FAULT_ENOSPC': '/programfiles/'}, 12),
    ('update', 'client-rename-fails', {'FAULT_RENAME': '/NimbraClient.exe'}, 9),
    ('update', 'registry-commit-fails', {'FAULT_RENAME': '/winreg/'}, 14),
    ('rollback', 'registry-disk-full', {'FAULT_ENOSPC': '/winreg/'}, 14),
    ('uninstall', 'registry-disk-full', {'FAULT_ENOSPC': '/winreg/'}, 14),
    ('uninstall', 'registry-commit-fails', {'FAULT_RENAME': '/winreg/'}, 14),
]


class Machine:
    """The sandbox, with the state before each program saved to start every row from."""

    def __init__(self, root, bin_dir, shim):
        self.box = lifecycle.Sandbox(root, bin_dir)
        self.box.env.pop('DISPLAY', None)
        self.box.env.pop('QT_QPA_PLATFORM', None)
        self.shim = shim
        self.saved = root + '.saved'
        self.product = self.box.path('programfiles', 'Nimbra', 'NimbraPVX')

    def installed(self):
        return self.box.reg('get', lifecycle.UNINSTALL + '\\' + KEY, 'installDir')

    def command(self, program):
        if program == 'install':
            return [os.path.join(self.package, 'install')], self.package
        if program in ('update', 'reupdate'):
            return [os.path.join(self.installed(), 'update'), '2.2.0'], self.installed()
        if program == 'rollback':
            return [os.path.join(self.installed(), 'update'), '--rollback'], self.installed()
        return [os.path.join(self.uninstaller, 'uninstall.exe')], self.uninstaller

    def run(self, program, faults=None, log=None):
        argv, cwd = self.command(program)
        env = dict(self.box.env)
        if faults:
            env.update(faults, LD_PRELOAD=self.shim)
        argv = argv + ['--silent'] + (['--log', log] if log else [])
        out = subprocess.run(argv, cwd=cwd, env=env, capture_output=True, timeout=120)
        if program == 'uninstall':
            # The self-deleting script ends the removal once the uninstaller has gone.
            lifecycle.wait_for(lambda: not os.path.exists(self.product) or out.returncode != 0, 20,
                               'the self-deleting script')
        return out.returncode, out.stderr.decode('utf-8', 'replace')

    def save(self, name):
        shutil.rmtree(os.path.join(self.saved, name), ignore_errors=True)
        shutil.copytree(self.box.root, os.path.join(self.saved, name), symlinks=True)

    def restore(self, name):
        shutil.rmtree(self.box.root)
        shutil.copytree(os.path.join(self.saved, name), self.box.root, symlinks=True)

    def snapshot(self):
        """The snapshot makes version folders' names alike: how many there are is told apart."""
        entries = lifecycle.snapshot(self.box, self.service)
        if os.path.isdir(self.product):
            entries['version folders'] = len(os.listdir(self.product))
        return entries

    def others_kept(self):
        box = self.box
        return box.reg('get', lifecycle.RUN, 'OtherUpdater.exe') != '' \
            and box.reg('get', lifecycle.UNINSTALL + r'\OtherApp', 'DisplayName') == 'Other App' \
            and box.reg('get', lifecycle.COMPANY + r'\Orvix\Settings', 'InstallDir') != ''


def changes(log):
    return [line for line in open(log, encoding='utf-8') if not line.startswith('#')]


def differences(expected, seen):
    return sorted(path for path in set(expected) | set(seen) if expected.get(path) != seen.get(path))


def baseline(m):
    """An uninterrupted life: the state before and after each program, and each log's length."""
    records = m.box.path('tmp', 'records.jsonl')
    m.service = lifecycle.start_refserver(m.box, records, m.box.path('tmp', 'requests.jsonl'))
    m.package = lifecycle.stage(m.box, 'standard', 'zh', m.service, 'script')
    lifecycle.plant(m.box)
    lines, after = {}, {}
    for program in PROGRAMS:
        m.save(program)
        if program == 'uninstall':
            m.uninstaller = m.installed()
        log = m.box.path('tmp', program + '-baseline.log')
        code, errors = m.run(program, log=log)
        if code != 0:
            raise RuntimeError('%s ended with %d: %s' % (program, code, errors))
        lines[program] = len(changes(log))
        after[program] = m.snapshot()
    return lines, after


def kill_table(m, lines, after):
    rows = []
    for program in PROGRAMS:
        for k in range(1, lines[program] + 1):
            m.restore(program)
            log = m.box.path('tmp', 'killed.log')
            killed, _ = m.run(program, {'FAULT_KILL_LOG': log, 'FAULT_KILL_AFTER': str(k)}, log)
            last = changes(log)[-1].split('\t')[1:] if os.path.exists(log) and changes(log) else []
            # Killed after its last change a rollback is done: run again it would roll back once more.
            done = (program == 'uninstall' and not os.path.exists(m.uninstaller)) \
                or (program == 'rollback' and k == lines[program])
            rerun, errors = (0, '') if done else m.run(program)
            wrong = differences(after[program], m.snapshot())
            rows.append({'program': program, 'k': k, 'line': ' '.join(last), 'killed': killed == -9,
                         'rerun': rerun, 'errors': errors.splitlines()[1:] if rerun else [],
                         'differences': wrong})
    return rows


def fault_table(m, after):
    rows = []
    for program, fault, shim, expected in FAULTS:
        m.restore(program)
        code, errors = m.run(program, shim)
        told = [line for line in errors.splitlines() if not line.startswith('log: ')]
        kept = m.others_kept()
        rerun, _ = m.run(program)
        rows.append({'program': program, 'fault': fault, 'code': code, 'expected': expected, 'message': told,
                     'others_kept': kept, 'rerun': rerun, 'differences': differences(after[program], m.snapshot())})
    return rows


def row_table(m, rows):
    """Rows of (name, saved state, call) after an uninterrupted life, each from its state:
    the report (each row a dict with 'ok') on standard output, the failed rows on standard
    error; the exit code, 1 when a row failed."""
    report = {}
    try:
        baseline(m)
        for name, state, row in rows:
            m.restore(state)
            try:
                report[name] = row()
            except Exception as error:  # a row that could not run its programs failed
                report[name] = {'ok': False, 'error': str(error)}
    except Exception as error:  # the report says what went wrong; every process still stops
        report['error'] = str(error)
    finally:
        m.box.stop_all()
    return print_report(report)


def table_main(doc, machine, rows):
    """The main of a table that takes --bin and --sandbox: rows(m, report) fills the report
    on a fresh machine (of class machine); every process it started stops."""
    parser = argparse.ArgumentParser(description=doc, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--bin', required=True)
    parser.add_argument('--sandbox', required=True)
    args = parser.parse_args()
    shutil.rmtree(args.sandbox, ignore_errors=True)
    m = machine(os.path.abspath(args.sandbox), args.bin, None)
    report = {}
    try:
        rows(m, report)
    except Exception as error:  # the report says what went wrong; every process still stops
        report['error'] = str(error)
    finally:
        m.box.stop_all()
    return print_report(report)


def print_report(report):
    """A table's report (each row a dict with 'ok', or 'error') on standard output, its failed
    rows on standard error; the exit code, 1 when a row failed."""
    print(json.dumps(report, ensure_ascii=False, indent=1))
    failed = [name for name, row in report.items() if name == 'error' or not row.get('ok')]
    for name in failed:
        print('failed:', name, json.dumps(report[name], ensure_ascii=False), file=sys.stderr)
    return 1 if failed else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--bin', required=True)
    parser.add_argument('--shim', required=True)
    parser.add_argument('--sandbox', required=True)
    parser.add_argument('--only', choices=['kill', 'fault'])
    args = parser.parse_args()
    shutil.rmtree(args.sandbox, ignore_errors=True)
    m = Machine(os.path.abspath(args.sandbox), args.bin, os.path.abspath(args.shim))
    report, failed = {}, 0
    try:
        lines, after = baseline(m)
        report['changes'] = lines
        if args.only != 'fault':
            report['kill'] = kill_table(m, lines, after)
            failed += sum(1 for r in report['kill'] if not r['killed'] or r['rerun'] or r['differences'])
        if args.only != 'kill':
            report['fault'] = fault_table(m, after)
            failed += sum(1 for r in report['fault'] if r['code'] != r['expected'] or not r['message']
                          or not r['others_kept'] or r['rerun'] or r['differences'])
    except Exception as error:  # the report says what went wrong; every process still stops
        report['error'] = str(error)
        failed += 1
    finally:
        m.box.stop_all()
    report['failed_rows'] = failed
    print(json.dumps(report, ensure_ascii=False, indent=1))
    for row in report.get('kill', []) + report.get('fault', []):
        if not row.get('killed', True) or row['rerun'] or row['differences'] or row.get('code') != row.get('expected') \
                or not row.get('message', True) or not row.get('others_kept', True):
            print('failed:', json.dumps(row, ensure_ascii=False), file=sys.stderr)
    if 'error' in report:
        print('error:', report['error'], file=sys.stderr)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
