#!/usr/bin/env python3
"""The Windows programs' whole life cycle under Wine: install.exe, update.exe to 2.2.0,
uninstall.exe, for every row of the table (silent and window runs, standard and co-branded
editions, Chinese and English), each in a fresh Wine prefix inside the sandbox, on a
virtual display. After each step the Windows side is checked: registry (wine reg query),
shortcuts and where they point, the client's branding (wrestool), the service's records;
after removal, that the self-deleting batch ran and only what is ours is gone.

  wine_lifecycle.py --winbin WINBUILD/bin --bin BUILD/bin --sandbox DIR --wine LOADER [--arch i686]
                  [--rows silent,window] [--shots DIR] [--report FILE]

Exit status 0 when every check of every row passed.
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lifecycle  # noqa: E402  (the demo's driver: sandbox, display, staging, branding)
from lifecycle import Display, Sandbox, wait_for, press_until_gone

HKLM_WIN = r'HKLM\Software\Microsoft\Windows\CurrentVersion'
KEYS = {'standard': 'NimbraPVX', 'cobranded': 'NimbraKW'}
PRODUCT = {'standard': r'Nimbra\NimbraPVX', 'cobranded': r'Nimbra\Nimbra for Unity'}
# System DLLs the programs must take from the system folder only: a copy of each that is
# no DLL at all lies beside every program run; loaded, it would keep the program from starting.
# Not version.dll: Wine's own user32 imports it (Windows' does not), and Wine looks for a
# system DLL's imports in the program's folder first.
PLANTED_DLLS = ('bcrypt', 'crypt32', 'dwmapi', 'iphlpapi', 'mpr', 'netapi32', 'secur32', 'userenv',
                'uxtheme', 'winmm', 'wtsapi32')


def plant_dlls(folder):
    for name in PLANTED_DLLS:
        open(os.path.join(folder, name + '.dll'), 'w').write('not a DLL\n')


class Wine:
    """A fresh prefix in the sandbox; every Wine process runs with the sandbox's home."""

    def __init__(self, box, loader):
        self.box = box
        self.loader = loader
        self.prefix = box.path('wineprefix')
        env = box.env
        # Wine links the profile's desktop to $HOME/Desktop where that exists, else to $HOME.
        os.makedirs(os.path.join(env['HOME'], 'Desktop'), exist_ok=True)
        env.update(WINEPREFIX=self.prefix, WINEDEBUG='-all', WINELOADER=loader,
                   WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d')
        # One persistent server for the row: each start then takes a fraction of a second.
        os.makedirs(self.prefix, exist_ok=True)
        subprocess.run(['wineserver', '-p60'], env=env, timeout=60)
        self.run(['wineboot', '--init'], box.root, 300)
        self.user = next(u for u in os.listdir(os.path.join(self.prefix, 'drive_c', 'users')) if u != 'Public')

    def close(self):
        subprocess.run(['wineserver', '-k'], env=self.box.env, timeout=60)

    def unix(self, path):
        drive, rest = path[0].lower(), path[3:].replace('\\', '/')
        return os.path.join('/', rest) if drive == 'z' else os.path.join(self.prefix, 'drive_' + drive, rest)

    def profile(self, *parts):
        return os.path.join(self.prefix, 'drive_c', 'users', self.user, *parts)

    def run(self, argv, cwd, timeout=180):
        # Files, not pipes: Wine's background services inherit the streams and keep a
        # pipe open long after the program ended.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run([self.loader] + argv, cwd=cwd, env=self.box.env, stdout=out, stderr=err,
                                  timeout=timeout)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(done.args, done.returncode, out.read(), err.read())

    def reg(self, key, value=None):
        """A value's data, None when missing; without a value name, whether the key exists."""
        argv = ['reg', 'query', key] + (['/v', value] if value else [])
        # reg.exe answers 0 with the data or 1 with a message; anything else is Wine failing
        # to run it, seen once in CI as a value read back empty: ask again.
        for _ in range(3):
            out = self.run(argv, self.box.root, 60)
            found = self.parsed(out.stdout, value)
            if (out.returncode == 0 and (value is None or found is not None)) \
                    or (out.returncode == 1 and (out.stdout + out.stderr).strip()):
                break
            time.sleep(1)
        return out.returncode == 0 if value is None else found

    @staticmethod
    def parsed(stdout, value):
        for line in stdout.decode('utf-8', 'replace').splitlines():
            fields = re.split(r'\s{4}', line.strip(), maxsplit=2)
            if value and len(fields) == 3 and fields[0].lower() == value.lower():
                return fields[2]
        return None

    def reg_add(self, key, value, data):
        self.run(['reg', 'add', key, '/v', value, '/d', data, '/f'], self.box.root, 60)


def link_target(path):
    """The local path a shell link points at: the longest drive path it holds (its
    LinkInfo's base path; the working folder is a shorter one)."""
    data = open(path, 'rb').read()
    found = [m.decode('utf-16-le', 'replace') for m in
             re.findall(rb'[A-Za-z]\x00:\x00\\\x00(?:[^\x00]\x00)+', data)]
    found += [m.decode('mbcs' if os.name == 'nt' else 'latin-1', 'replace') for m in
              re.findall(rb'[A-Za-z]:\\[^\x00]+', data)]
    return max(found, key=len) if found else None


class Row:
    def __init__(self, args, mode, edition, lang):
        self.args, self.mode, self.edition, self.lang = args, mode, edition, lang
        self.name = '%s-%s-%s' % (mode, edition, lang)
        self.checks = []
        root = os.path.join(args.sandbox, self.name)
        shutil.rmtree(root, ignore_errors=True)
        self.box = Sandbox(root, args.bin)
        self.entry = HKLM_WIN + '\\Uninstall\\' + KEYS[edition]
        # A 32-bit program's program-files folder on 64-bit Windows.
        self.product = ('C:\\Program Files (x86)\\' if args.arch == 'i686' else 'C:\\Program Files\\') \
            + PRODUCT[edition]

    def check(self, step, what, ok, detail=''):
        self.checks.append({'step': step, 'check': what, 'ok': bool(ok), 'detail': detail})

    def run(self):
        box = self.box
        self.display = Display(box)
        records = box.path('tmp', 'records.jsonl')
        address = lifecycle.start_refserver(box, records, box.path('tmp', 'requests.jsonl'))
        self.package = lifecycle.stage(box, self.edition, self.lang, address, 'pe', windows_bin=self.args.winbin,
                                       sign=self.sign if self.args.ca else None)
        self.wine = Wine(box, self.args.wine)
        try:
            planted = self.plant()
            plant_dlls(self.package)
            self.install(self.setup_file())
            self.placed('install', '2.1.0', records)
            self.update()
            self.placed('update', '2.2.0', records)
            if self.mode == 'silent':
                self.rollback_and_back(records)
            self.uninstall(planted, records)
        finally:
            self.wine.close()
            box.stop_all()

    def plant(self):
        wine = self.wine
        wine.reg_add(HKLM_WIN + r'\Run', 'OtherUpdater.exe', r'"C:\Other\updater.exe" /background')
        wine.reg_add(HKLM_WIN + r'\Uninstall\OtherApp', 'DisplayName', 'Other App')
        planted = [wine.unix(self.product.rsplit('\\', 1)[0] + '\\notes.txt'),
                   wine.profile('Desktop', 'Other.lnk'),
                   wine.profile('AppData', 'Roaming', 'Microsoft', 'Windows', 'Start Menu', 'Programs', 'Other',
                                'Other.lnk')]
        for path in planted:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            open(path, 'w').write('not ours\n')
        return planted

    # --- the three steps, silent or in their windows ---

    def silent(self, step, exe, cwd, *extra):
        out = self.wine.run([exe, '--silent', '--progress'] + list(extra), cwd)
        progress = out.stdout.decode('utf-8', 'replace').splitlines()
        self.check(step, 'exit code 0', out.returncode == 0,
                   '%d; %s' % (out.returncode, out.stderr.decode('utf-8', 'replace').strip()[-300:]))
        self.check(step, 'progress reaches 100', any(line.endswith('"percent":100}') for line in progress),
                   progress[-1] if progress else 'none')
        log = lifecycle.log_named(out.stderr.decode('utf-8', 'replace').splitlines())
        lines = open(self.wine.unix(log), encoding='utf-8').read().splitlines() if log else []
        # Windows keeps a running program's file: the uninstaller's own is left to the batch,
        # which the log says it scheduled.
        scheduled = any('\tremove\tdir\tscheduled\t' in line for line in lines)
        failed = [line for line in lines if '\tfailed\t' in line
                  and not (scheduled and line.endswith('\\' + os.path.basename(exe)))]
        self.check(step, 'change log without a failed change', log and not failed, '; '.join(failed[:3]) or log)

    def window(self, exe, cwd, *extra):
        process = self.box.start([self.wine.loader, exe] + list(extra), cwd=cwd)
        ids = []
        wait_for(lambda: ids.extend(self.display.xdotool('search', '--onlyvisible', '--classname',
                                                          os.path.basename(exe).lower())) or ids, 60,
                 'the window of ' + os.path.basename(exe))
        time.sleep(1.5)
        return process, ids[-1]

    def shot(self, window, state):
        if self.args.shots:
            self.display.shot(window, self.args.shots, '%s-%s' % (self.name, state))

    def setup_file(self):
        """The package inside a signed copy of the installer, alone in a downloads folder
        beside DLLs and a package that are not its own: the file a user downloads."""
        downloads = self.box.path('downloads')
        os.makedirs(downloads, exist_ok=True)
        setup = os.path.join(downloads, 'setup.exe')
        subprocess.run([os.path.join(lifecycle.TOP, 'tools', 'mksetup', 'mksetup'),
                        os.path.join(self.package, 'install.exe'), self.package, setup], check=True, capture_output=True)
        if self.args.ca:
            self.sign([setup])
        plant_dlls(downloads)
        for name, text in (('version', '"9.9.9"'), ('files.zip', 'not an archive')):
            open(os.path.join(downloads, name), 'w').write(text)
        return setup

    def sign(self, paths):
        subprocess.run([os.path.join(lifecycle.TOP, 'scripts', 'sign-windows'), os.path.dirname(self.args.ca)] + paths,
                       check=True, capture_output=True)

    def install(self, exe):
        self.install_from(exe)
        # What the setup file unpacked goes with it.
        temp = self.wine.profile('Temp')
        left = [name for name in os.listdir(temp) if name.startswith('setup-')] if os.path.isdir(temp) else []
        self.check('install', 'no unpacked package left', not left, ', '.join(left))

    def install_from(self, exe):
        package = os.path.dirname(exe)
        if self.mode == 'silent':
            return self.silent('install', exe, package)
        process, window = self.window(exe, package)
        self.shot(window, 'install-1-ready')
        product = self.wine.unix(self.product)
        wait_for(lambda: (self.display.click(window, lifecycle.INSTALL_BUTTON), time.sleep(1),
                          os.path.isdir(product))[2], 60, 'the install run to begin')
        wait_for(lambda: os.path.exists(self.box.path('tmp', 'records.jsonl')), 60, 'the channel report')
        self.shot(window, 'install-2-finished')
        press_until_gone(self.display, window, lifecycle.INSTALL_BUTTON, process, 'the installer to close', 60)

    def current(self):
        return self.wine.reg(self.entry, 'installDir')

    def update(self):
        installed = self.current()
        exe = self.wine.unix(installed + r'\update.exe')
        plant_dlls(self.wine.unix(installed))
        if self.mode == 'silent':
            return self.silent('update', exe, self.wine.unix(installed), '2.2.0')
        process, window = self.window(exe, self.wine.unix(installed), '2.2.0')
        wait_for(lambda: self.wine.reg(self.entry, 'DisplayVersion')
                 == '2.2.0', 120, 'the update')
        time.sleep(1)
        self.shot(window, 'update-done')
        press_until_gone(self.display, window, lifecycle.UPDATE_BUTTON, process, 'the updater to close', 60)

    def rollback_and_back(self, records):
        """Back to 2.1.0 without the network, then to 2.2.0 again: its files come from the
        kept folder, and the older 2.2.0 folder goes."""
        installed = self.current()
        self.silent('rollback', self.wine.unix(installed + r'\update.exe'), self.wine.unix(installed), '--rollback')
        self.placed('rollback', '2.1.0', records)
        self.update()
        self.placed('update again', '2.2.0', records)
        folders = sorted('.'.join(name.split('.')[:3]) for name in os.listdir(self.wine.unix(self.product)))
        self.check('update again', 'the version folders kept', folders == ['2.1.0', '2.2.0'], folders)

    def uninstall(self, planted, records):
        installed = self.current()
        exe = self.wine.unix(installed + r'\uninstall.exe')
        plant_dlls(self.wine.unix(installed))
        product = self.wine.unix(self.product)
        if self.mode == 'silent':
            self.silent('uninstall', exe, self.wine.unix(installed))
        else:
            process, window = self.window(exe, self.wine.unix(installed))
            self.shot(window, 'uninstall-1-ready')
            self.display.click(window, lifecycle.UNINSTALL_START)
            if self.lang == 'zh':
                time.sleep(2)
                self.display.click(window, lifecycle.UNINSTALL_REASON)
                time.sleep(0.5)
                self.shot(window, 'uninstall-2-feedback')
                self.display.click(window, lifecycle.UNINSTALL_COMMIT)
            wait_for(lambda: not self.wine.reg(self.entry), 90, 'the removal')
            time.sleep(1)
            self.shot(window, 'uninstall-3-done')
            press_until_gone(self.display, window, lifecycle.UNINSTALL_FINISH, process, 'the uninstaller to close', 60)
        try:
            wait_for(lambda: not os.path.exists(product), 60, 'the self-deleting batch')
        except RuntimeError:
            pass
        self.removed(product, planted, records)

    # --- what Windows shows after each step ---

    def shortcuts(self):
        found = []
        for root in (self.wine.profile('Desktop'),
                     self.wine.profile('AppData', 'Roaming', 'Microsoft', 'Windows', 'Start Menu', 'Programs')):
            for folder, _, files in os.walk(root):
                found += [os.path.join(folder, f) for f in files if f.endswith('.lnk') and f != 'Other.lnk']
        return found

    def placed(self, step, version, records):
        wine = self.wine
        entry = self.entry
        installed = self.current() or ''
        expected_parent = self.product + '\\'
        self.check(step, 'uninstall entry: installDir', installed.startswith(expected_parent + version + '.'),
                   installed)
        client = wine.reg(entry, 'DisplayIcon') or ''
        values = {v: wine.reg(entry, v) for v in ('UninstallString', 'QuietUninstallString', 'DisplayVersion',
                                                  'InstallLocation', 'EstimatedSize')}
        uninstaller = installed + r'\uninstall.exe'
        self.check(step, 'uninstall entry: client, uninstaller, version',
                   client.startswith(installed + '\\') and os.path.isfile(wine.unix(client))
                   and values['UninstallString'] == '"%s"' % uninstaller and values['DisplayVersion'] == version,
                   '%s; %s' % (client, values))
        # What fleet tools read; the size a REG_DWORD ("0x…" as reg.exe shows it).
        self.check(step, 'uninstall entry: quiet string, location, size',
                   values['QuietUninstallString'] == '"%s" --silent' % uninstaller
                   and values['InstallLocation'] == installed and (values['EstimatedSize'] or '').startswith('0x')
                   and int(values['EstimatedSize'], 16) > 0, json.dumps(values))
        paths = [installed, client, uninstaller]
        if self.args.ca:
            # What runs with administrator rights arrives signed, and stays so; so does the
            # client, branded for its edition when it was built.
            unsigned = [path for path in (installed + r'\update.exe', uninstaller, client)
                        if subprocess.run(['osslsigncode', 'verify', '-CAfile', self.args.ca, '-in', wine.unix(path)],
                                          capture_output=True).returncode]
            self.check(step, 'programs and client signed', not unsigned, ', '.join(unsigned))
        self.check(step, 'backslashes only', all('/' not in p for p in paths), '; '.join(paths))
        exe = client.rsplit('\\', 1)[-1]
        autorun = wine.reg(HKLM_WIN + r'\Run', exe)
        self.check(step, 'autorun value quoted', autorun == '"%s" RegAutoRun' % client, autorun)
        settings = r'HKCU\Software\Quorlan\%s\Settings' % KEYS[self.edition]
        self.check(step, 'per-user record: InstallDir', wine.reg(settings, 'InstallDir') == installed,
                   wine.reg(settings, 'InstallDir'))
        links = {os.path.relpath(p, wine.profile()): link_target(p) for p in self.shortcuts()}
        targets = sorted((t or '').lower() for t in links.values())
        self.check(step, 'three shortcuts into this version',
                   targets == sorted([client.lower(), client.lower(), uninstaller.lower()]),
                   json.dumps(links, ensure_ascii=False))
        # The co-branded client gets the edition's name and icon; the standard one keeps its own.
        built = os.path.join(self.args.winbin, 'demo-client.exe')
        branded = lifecycle.branding(wine.unix(client), self.edition, self.lang, self.package, built) \
            if os.path.isfile(wine.unix(client)) else {}
        wanted = self.edition == 'cobranded'
        self.check(step, 'branding (wrestool)', branded.get('description_is_name') == wanted
                   and branded.get('icon_replaced') == wanted, json.dumps(branded, ensure_ascii=False))
        reports = [r['service'] for r in lifecycle.requests(records)]
        if step == 'install':
            self.check(step, 'channel report received', 'channel' in reports, ', '.join(reports))

    def removed(self, product, planted, records):
        wine = self.wine
        self.check('uninstall', 'uninstall entry, autorun and per-user key gone',
                   not wine.reg(self.entry)
                   and wine.reg(HKLM_WIN + r'\Run', 'NimbraClient.exe') is None
                   and not wine.reg('HKCU\\Software\\Quorlan\\' + KEYS[self.edition]))
        self.check('uninstall', 'shortcuts gone', not self.shortcuts(), ', '.join(self.shortcuts()))
        left = []
        for folder, _, files in os.walk(product):
            left += [os.path.relpath(os.path.join(folder, f), product) for f in files]
        self.check('uninstall', 'product folder removed by the batch', not os.path.exists(product),
                   ', '.join(left[:5]))
        self.check('uninstall', 'batch deleted itself', not os.path.exists(wine.unix(r'C:\ClearPVX.bat')))
        kept = all(os.path.exists(p) for p in planted) \
            and wine.reg(HKLM_WIN + r'\Run', 'OtherUpdater.exe') is not None \
            and wine.reg(HKLM_WIN + r'\Uninstall\OtherApp', 'DisplayName') == 'Other App'
        self.check('uninstall', 'what is not ours untouched', kept)
        if self.mode == 'window':
            runs = []
            for log in (self.wine.profile('Temp', 'client-ran.log'),
                        self.wine.profile('AppData', 'Local', 'Temp', 'client-ran.log')):
                if os.path.exists(log):
                    runs += open(log, encoding='latin-1').read().splitlines()
            started = [r for r in runs if not r.endswith(' unitydel')]
            self.check('uninstall', 'client started after install and update, by a native path',
                       len(started) == 2 and not any('/' in r for r in started), '; '.join(runs))
        if self.mode == 'window' and self.lang == 'zh':
            reports = [r['service'] for r in lifecycle.requests(records)]
            self.check('uninstall', 'feedback received', 'feedback' in reports, ', '.join(reports))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--winbin', required=True)
    parser.add_argument('--bin', required=True)
    parser.add_argument('--sandbox', required=True)
    parser.add_argument('--wine', required=True)
    parser.add_argument('--arch', default='x86_64', choices=['x86_64', 'i686'])
    parser.add_argument('--rows', default='silent,window')
    parser.add_argument('--editions', default='standard,cobranded')
    parser.add_argument('--langs', default='zh,en')
    parser.add_argument('--ca', help='the authority the programs are signed under: their signatures are verified')
    parser.add_argument('--shots')
    parser.add_argument('--report')
    args = parser.parse_args()
    args.sandbox = os.path.abspath(args.sandbox)
    if args.shots:
        args.shots = os.path.abspath(args.shots)
        os.makedirs(args.shots, exist_ok=True)
    report = []
    for mode in args.rows.split(','):
        for edition in args.editions.split(','):
            for lang in args.langs.split(','):
                row = Row(args, mode, edition, lang)
                started = time.time()
                try:
                    row.run()
                except Exception as error:  # the row fails with its reason; the next row still runs
                    row.check('run', 'completed', False, str(error))
                report.append({'row': row.name, 'seconds': round(time.time() - started, 1), 'checks': row.checks})
                failed = [c for c in row.checks if not c['ok']]
                print('%-24s %5.1f s  %s' % (row.name, report[-1]['seconds'],
                                             'all %d checks passed' % len(row.checks) if not failed else
                                             '%d of %d checks FAILED' % (len(failed), len(row.checks))))
                for c in failed:
                    print('    FAILED %s: %s  (%s)' % (c['step'], c['check'], c['detail']))
                sys.stdout.flush()
    if args.report:
        open(args.report, 'w', encoding='utf-8').write(json.dumps(report, ensure_ascii=False, indent=2))
    return 0 if all(c['ok'] for r in report for c in r['checks']) else 1


if __name__ == '__main__':
    sys.exit(main())
