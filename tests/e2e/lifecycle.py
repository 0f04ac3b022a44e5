#!/usr/bin/env python3
"""Stages the demo package in a sandbox and drives the client's whole life cycle with the
real programs: install, update (once or more), uninstall. Windows appear on a virtual
display (Xvfb) and are pressed with xdotool where a person would press them.

  lifecycle.py --bin BUILD/bin --sandbox DIR [--edition standard|cobranded|partner]
               [--lang zh|en] [--updates N] [--shots DIR] [--report FILE]
               [--client script|pe] [--silent] [--stage-only --server URL]

Everything happens below the sandbox folder (home, configuration, data, temporary and
program-files folders); the real home and registry emulation are never touched. With
--client pe the client is the Windows demo client (build/bin/demo-client.exe), whose
branding the report shows as wrestool reads it; it cannot start here. With
--silent each program runs unattended (--silent --progress) without any display, and
the report keeps exit codes, progress lines and logs. After each step the report holds a
snapshot of what is on disk and in the registry, so two runs can be compared. With
--stage-only it only stages the package and publishes the versions for the reference
service at --server, for a person to go on by hand.
"""
import argparse
import glob
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import time
import zipfile

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEMO = os.path.join(TOP, 'demo')


class Edition:
    """One edition as the demo package makes it: its ZQ.ini for each language, its registry
    key, the folders the installer puts it in, and its display name as the client shows it."""

    def __init__(self, ini, key, target, product, names, asks_feedback):
        self.ini, self.key, self.target, self.product = ini, key, target, product
        self.names, self.asks_feedback = names, asks_feedback


EDITIONS = {
    'standard': Edition({'zh': 'ZQ.ini', 'en': 'ZQ-en.ini'}, 'NimbraPVX', 'Nimbra', 'NimbraPVX',
                        {'zh': '星云渲染', 'en': 'Render Cloud'}, True),
    'cobranded': Edition({'zh': 'ZQ-cobranded.ini', 'en': 'ZQ-cobranded.ini'}, 'NimbraKW', 'Nimbra',
                         'Nimbra for Unity', {'zh': '星云渲染 Unity', 'en': 'Nimbra for Unity'}, True),
    'partner': Edition({'zh': 'ZQ-partner.ini', 'en': 'ZQ-partner.ini'}, 'NimbraPVX', 'OKARender', 'NimbraPVX',
                       {'zh': '渲染云', 'en': 'Render Cloud'}, False),
}
UNINSTALL = r'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall'
RUN = r'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run'
COMPANY = r'HKEY_CURRENT_USER\Software\Quorlan'
# Button centres inside each window, from the forms (child position plus the 3-pixel frame).
INSTALL_BUTTON = (293, 293)
UPDATE_BUTTON = (293, 333)
UNINSTALL_START = (208, 263)
UNINSTALL_REASON = (111, 91)
UNINSTALL_COMMIT = (483, 343)
UNINSTALL_FINISH = (288, 313)


class Sandbox:
    def __init__(self, root, bin_dir):
        self.root = os.path.abspath(root)
        self.bin = os.path.abspath(bin_dir)
        self.env = dict(os.environ)
        for name, sub in (('HOME', 'home'), ('XDG_CONFIG_HOME', 'config'), ('XDG_DATA_HOME', 'data'),
                          ('XDG_RUNTIME_DIR', 'runtime'), ('TMPDIR', 'tmp'), ('PROGRAMFILES', 'programfiles')):
            path = os.path.join(self.root, sub)
            os.makedirs(path, exist_ok=True)
            self.env[name] = path
        os.chmod(self.env['XDG_RUNTIME_DIR'], 0o700)
        self.env['QT_QPA_PLATFORM'] = 'xcb'
        self.processes = []

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def reg(self, *args):
        tool = os.path.join(os.path.dirname(self.bin), 'tests', 'support', 'regtool')
        out = subprocess.run([tool] + list(args), env=self.env, capture_output=True, timeout=30)
        return out.stdout.decode('utf-8')

    def start(self, argv, cwd=None):
        process = subprocess.Popen(argv, cwd=cwd, env=self.env, stdout=subprocess.DEVNULL,
                                   stderr=open(self.path('tmp', 'programs.log'), 'ab'))
        self.processes.append(process)
        return process

    def stop_all(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                process.wait()


def press_until_gone(display, window, at, process, what, timeout=20):
    """Presses a button until its program ends: a press before the window is ready is lost."""
    deadline = time.time() + timeout
    while process.poll() is None:
        if time.time() > deadline:
            raise RuntimeError('timed out waiting for ' + what)
        display.click(window, at)
        try:
            process.wait(1)
        except subprocess.TimeoutExpired:
            pass


def wait_for(condition, timeout, what):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if condition():
            return
        time.sleep(0.1)
    raise RuntimeError('timed out waiting for ' + what)


class Display:
    def __init__(self, box):
        self.box = box
        self.xvfb = subprocess.Popen(['Xvfb', '-displayfd', '1', '-nolisten', 'tcp', '-noreset',
                                      '-screen', '0', '1024x768x24'], stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL)
        box.processes.append(self.xvfb)
        box.env['DISPLAY'] = ':' + self.xvfb.stdout.readline().decode().strip()

    def xdotool(self, *args):
        return subprocess.run(['xdotool'] + list(args), env=self.box.env, capture_output=True,
                              timeout=30).stdout.decode().split()

    def window(self, process):
        ids = self.xdotool('search', '--sync', '--onlyvisible', '--pid', str(process.pid))
        return ids[-1]

    def click(self, window, at):
        self.xdotool('mousemove', '--window', window, str(at[0]), str(at[1]), 'click', '1')

    def shot(self, window, shots, name):
        if shots:
            time.sleep(0.3)
            subprocess.run(['/usr/bin/import', '-display', self.box.env['DISPLAY'], '-window', window,
                            os.path.join(shots, name + '.png')], env=self.box.env, timeout=30)


# The installer in the package, and the programs shipped in its archive and in every
# release: by name there, and the file each is built as. Linux's, or Windows' (stage()
# with windows_bin).
LINUX_PROGRAMS = ('install', {'update': 'update', 'uninstall.exe': 'uninstall'})
WINDOWS_PROGRAMS = ('install.exe', {'update.exe': 'update.exe', 'uninstall.exe': 'uninstall.exe'})


# The icon the updater brands each edition's client with (it carries them itself).
UPDATER_ICONS = {'cobranded': 'ZQ-KW.ico', 'partner': 'ZQ-OKA.ico'}


def signed_clients(box, client, edition, lang, sign, tails):
    """The clients of a signed Windows release, one per tail (bytes after the end, which
    make versions differ): a branded edition's branded here for the installer (the
    package's icon) and for the updater (its own), then each signed. The programs leave
    a client that already carries the branding as it is, so it stays signed."""
    paths = []
    for i, tail in enumerate(tails):
        path = box.path('tmp', 'client-%d.exe' % i)
        open(path, 'wb').write(client + tail)
        if edition != 'standard':
            icon = os.path.join(DEMO, 'ZQ.ico') if i == 0 else \
                os.path.join(TOP, 'src', 'frame', 'ui', 'images', UPDATER_ICONS[edition])
            subprocess.run([os.path.join(box.bin, 'brandexe'), icon, EDITIONS[edition].names[lang], path],
                           check=True, capture_output=True)
        paths.append(path)
    sign(paths)
    return [open(path, 'rb').read() for path in paths]


def stage(box, edition, lang, server, client_kind, windows_bin=None, sign=None):
    """The package beside the installer, and versions 2.2.0 and 2.3.0 in the service.
    With sign (it signs a list of Windows programs), the clients are a signed release's."""
    package = box.path('package')
    shutil.rmtree(package, ignore_errors=True)
    os.makedirs(package)
    installer, programs = WINDOWS_PROGRAMS if windows_bin else LINUX_PROGRAMS
    programs_dir = windows_bin or box.bin
    client = open(os.path.join(programs_dir, 'demo-client.exe') if client_kind == 'pe' or windows_bin
                  else os.path.join(DEMO, 'client', 'NimbraPVX.sh'), 'rb').read()
    versions = (('2.2.0', 'Faster scene export'), ('2.3.0', 'Unity 2026 support'))
    # Bytes after the end change the file, not what it does (a PE keeps them as overlay).
    tails = [b''] + [('\n# %s\n' % version).encode() for version, _ in versions]
    clients = signed_clients(box, client, edition, lang, sign, tails) if sign \
        else [client + tail for tail in tails]
    service = open(os.path.join(DEMO, 'service.ini')).read().replace('{server}', server).encode()

    def program(name):
        return open(os.path.join(programs_dir, programs[name]), 'rb').read()

    shipped = [(name, program(name)) for name in programs] + [('service.ini', service)]
    with zipfile.ZipFile(os.path.join(package, 'files.zip'), 'w', zipfile.ZIP_DEFLATED) as z:
        for name, data in [('NimbraPVX.exe', clients[0])] + shipped + [('plugins/render.dll', b'render plug-in 2.1\n')]:
            info = zipfile.ZipInfo(name)
            info.external_attr = (0o100000 | (0o644 if name.endswith(('.ini', '.dll')) else 0o755)) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data)
    shutil.copy(os.path.join(DEMO, EDITIONS[edition].ini[lang]), os.path.join(package, 'ZQ.ini'))
    if lang == 'en' and edition != 'standard':
        text = open(os.path.join(package, 'ZQ.ini'), 'rb').read() + b'lang=en_us\r\n'
        open(os.path.join(package, 'ZQ.ini'), 'wb').write(text)
    for name in ('version', 'SPCache', 'ZQ.ico'):
        shutil.copy(os.path.join(DEMO, name), package)
    open(os.path.join(package, 'service.ini'), 'wb').write(service)
    shutil.copy(os.path.join(programs_dir, installer), package)

    releases = box.path('releases')
    for (version, note), release_client in zip(versions, clients[1:]):
        tree = os.path.join(releases, version, 'files')
        os.makedirs(os.path.join(tree, 'plugins'), exist_ok=True)
        open(os.path.join(tree, 'NimbraPVX.exe'), 'wb').write(release_client)
        open(os.path.join(tree, 'plugins', 'render.dll'), 'wb').write(b'render plug-in 2.1\n')
        open(os.path.join(tree, 'plugins', 'scene-%s.dll' % version), 'wb').write(version.encode())
        for name, data in shipped:
            open(os.path.join(tree, name), 'wb').write(data)
        subprocess.run([os.path.join(box.bin, 'mkversion'), '--version', version, '--prefix', '{server}/stream/',
                        '--note', note, '-o', os.path.join(releases, version, 'version.xml'), tree],
                       env=box.env, check=True, capture_output=True)
    return package


def plant(box):
    """Things that are not ours, beside everything of ours."""
    box.reg('set', RUN, 'OtherUpdater.exe', r'"C:\Other\updater.exe" /background')
    box.reg('set', UNINSTALL + r'\OtherApp', 'DisplayName', 'Other App')
    box.reg('set', COMPANY + r'\Orvix\Settings', 'InstallDir', r'D:\Orvix')
    planted = [box.path('programfiles', 'Nimbra', 'notes.txt'),
               os.path.join(box.env['XDG_DATA_HOME'], 'applications', 'Other', 'Other.lnk'),
               os.path.join(box.env['HOME'], 'Desktop', 'Other.lnk')]
    for path in planted:
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, 'w').write('not ours\n')
    return planted


def client_in(directory):
    """The installed client: the one program of the Linux installation named "*.exe" but
    the uninstaller."""
    names = [f for f in os.listdir(directory) if f.endswith('.exe') and f != 'uninstall.exe']
    return os.path.join(directory, names[0])


def branding(path, edition, lang, package, built=None):
    """What wrestool reads from the installed client: its description and whether its
    icon images are still the ones it was built with (built, else the package's)."""
    version = subprocess.run(['wrestool', '-x', '--raw', '--type=16', path], capture_output=True).stdout
    icons = subprocess.run(['wrestool', '-x', '--raw', '--type=3', path], capture_output=True).stdout
    shipped = built
    if not built:
        with zipfile.ZipFile(os.path.join(package, 'files.zip')) as z:
            shipped = os.path.join(os.path.dirname(package), 'tmp', 'shipped.exe')
            open(shipped, 'wb').write(z.read('NimbraPVX.exe'))
    original = subprocess.run(['wrestool', '-x', '--raw', '--type=3', shipped], capture_output=True).stdout
    name = EDITIONS[edition].names[lang]
    # The whole value, terminator included: the shipped description begins with a name too.
    return {'client': os.path.basename(path), 'description_is_name': name.encode('utf-16-le') + b'\0\0' in version,
            'icon_replaced': icons != original}


def start_refserver(box, records, server_log):
    """The reference service on 127.0.0.1, serving the sandbox's releases: its address."""
    server = subprocess.Popen([sys.executable, os.path.join(TOP, 'tools', 'refserver', 'refserver.py'),
                               '--releases', box.path('releases'), '--reasons', os.path.join(DEMO, 'reasons.json'),
                               '--record', records, '--log', server_log],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=box.env)
    box.processes.append(server)
    return server.stdout.readline().decode().split()[1]


def requests(server_log):
    entries = []
    if os.path.exists(server_log):
        for line in open(server_log, encoding='utf-8'):
            entries.append(json.loads(line))
    return entries


class WindowSteps:
    """Each program in its window, pressed where a person would press it."""

    def __init__(self, box, shots, asks_feedback):
        self.box = box
        self.shots = shots
        self.asks_feedback = asks_feedback
        self.display = Display(box)

    def install(self, package, product, records):
        # Press until the run begins, wait for the report it sends at its end.
        display = self.display
        installer = self.box.start([os.path.join(package, 'install')], cwd=package)
        window = display.window(installer)
        display.shot(window, self.shots, 'install-1-ready')
        wait_for(lambda: (display.click(window, INSTALL_BUTTON), time.sleep(0.3), os.path.isdir(product))[2], 15,
                 'the install run to begin')
        wait_for(lambda: os.path.exists(records), 30, 'the channel report')
        time.sleep(0.3)
        display.shot(window, self.shots, 'install-2-finished')
        press_until_gone(display, window, INSTALL_BUTTON, installer, 'the installer to start the client')

    def update(self, installed, version, done):
        updater = self.box.start([os.path.join(installed, 'update'), version], cwd=installed)
        window = self.display.window(updater)
        wait_for(done, 60, 'update to ' + version)
        time.sleep(0.3)
        self.display.shot(window, self.shots, 'update-%s-done' % version)
        press_until_gone(self.display, window, UPDATE_BUTTON, updater, 'the updater to start the client')

    def uninstall(self, installed):
        display = self.display
        uninstaller = self.box.start([os.path.join(installed, 'uninstall.exe')], cwd=installed)
        window = display.window(uninstaller)
        time.sleep(1)
        display.shot(window, self.shots, 'uninstall-1-ready')
        display.click(window, UNINSTALL_START)
        if self.asks_feedback:
            time.sleep(1)
            display.click(window, UNINSTALL_REASON)
            time.sleep(0.3)
            display.shot(window, self.shots, 'uninstall-2-feedback')
            display.click(window, UNINSTALL_COMMIT)
        # The uninstaller stays until its script takes the product folder.
        wait_for(lambda: not os.path.exists(installed) or os.listdir(installed) == ['uninstall.exe'], 30,
                 'the removal')
        time.sleep(0.3)
        display.shot(window, self.shots, 'uninstall-3-done')
        press_until_gone(display, window, UNINSTALL_FINISH, uninstaller, 'the uninstaller to close')


def log_named(errors):
    """The log an unattended run names on the first line of its standard error."""
    return errors[0][len('log: '):].strip() if errors and errors[0].startswith('log: ') else None


class SilentSteps:
    """Each program with --silent, as a deployment script runs it: no display at all. The
    report keeps each run's exit code, progress lines and log."""

    def __init__(self, box, report):
        self.box = box
        self.runs = report.setdefault('silent', [])
        box.env.pop('DISPLAY', None)
        box.env.pop('QT_QPA_PLATFORM', None)

    def run(self, argv, cwd):
        out = subprocess.run(argv + ['--progress'], cwd=cwd, env=self.box.env, capture_output=True, timeout=120)
        errors = out.stderr.decode('utf-8', 'replace').splitlines()
        log = log_named(errors)
        self.runs.append({'program': os.path.basename(argv[0]), 'code': out.returncode,
                          'progress': out.stdout.decode('utf-8', 'replace').splitlines(),
                          'log': open(log, encoding='utf-8').read().splitlines() if log else None})
        if out.returncode != 0:
            raise RuntimeError('%s ended with %d: %s' % (argv[0], out.returncode, ' '.join(errors)))

    def install(self, package, product, records):
        self.run([os.path.join(package, 'install'), '--silent'], package)

    def update(self, installed, version, done):
        self.run([os.path.join(installed, 'update'), '--silent', version], installed)

    def uninstall(self, installed):
        self.run([os.path.join(installed, 'uninstall.exe'), '--silent'], installed)


def snapshot(box, service):
    """Every file, folder and link below the sandbox that a program of ours may have made,
    and the registry, with the parts that differ from run to run (the sandbox's own path,
    the build number in a version directory's name) made alike."""
    def alike(text):
        text = text.replace(box.root, '<sandbox>').replace(service, '<service>')
        return re.sub(r'(\d+\.\d+\.\d+)\.\d+', r'\1.N', text)

    entries = {}
    skip = {'tmp', 'runtime', 'package', 'releases'}
    for root, dirs, files in os.walk(box.root):
        rel = os.path.relpath(root, box.root)
        if rel.split(os.sep)[0] in skip or rel.startswith(os.path.join('home', '.cache')):
            dirs[:] = []
            continue
        for name in dirs + files:
            path = os.path.join(root, name)
            if os.path.islink(path):
                what = 'link ' + alike(os.readlink(path))
            elif os.path.isdir(path):
                what = 'dir'
            elif name.endswith('.json') and os.path.basename(root) == 'winreg':
                what = alike(open(path, encoding='utf-8', errors='replace').read())
            else:
                data = open(path, 'rb').read().replace(service.encode(), b'<service>')
                # A program that lost its execute bit no longer starts.
                what = 'file ' + hashlib.sha1(data).hexdigest() + (' x' if os.access(path, os.X_OK) else '')
            entries[alike(os.path.relpath(path, box.root))] = what
    return entries


def unlogged(box, before, after, log):
    """Files and links a step wrote or removed that its log does not name: either may also
    be named by its folder's (a removed tree, a staging folder renamed into place)."""
    named = {}
    for line in log:
        fields = line.split('\t')
        if len(fields) >= 5 and fields[1] in ('write', 'remove') and fields[3] in ('ok', 'scheduled'):
            path = os.path.relpath(fields[4], box.root)
            named.setdefault(fields[1], set()).add(re.sub(r'(\d+\.\d+\.\d+)\.\d+', r'\1.N', path))
    missing = []
    for path in sorted(set(before) | set(after)):
        kind = (after.get(path) or before.get(path)).split(' ')[0]
        if kind not in ('file', 'link') or before.get(path) == after.get(path):
            continue
        action = 'write' if path in after else 'remove'
        names = {path}
        while os.path.dirname(path):
            path = os.path.dirname(path)
            names.add(path)
        if not named.get(action, set()) & names:
            missing.append(action + ' ' + max(names, key=len))
    return missing


def run(box, args):
    report = {'edition': args.edition, 'lang': args.lang, 'sandbox': box.root, 'steps': []}
    shots = os.path.abspath(args.shots) if args.shots else None
    if shots:
        os.makedirs(shots, exist_ok=True)
    server_log = box.path('tmp', 'requests.jsonl')
    records = box.path('tmp', 'records.jsonl')
    address = args.server
    if not address:
        address = start_refserver(box, records, server_log)
    package = stage(box, args.edition, args.lang, address, args.client)
    report['service'] = address
    report['package'] = package
    if args.stage_only:
        return report
    planted = plant(box)
    edition = EDITIONS[args.edition]
    key = edition.key
    product = box.path('programfiles', edition.target, edition.product)
    steps = SilentSteps(box, report) if args.silent else WindowSteps(box, shots, args.lang == 'zh' and edition.asks_feedback)
    snapshot_at_start = snapshot(box, address)
    report['snapshots'] = {}

    def step(name, started, **extra):
        report['steps'].append(dict({'step': name, 'seconds': round(time.time() - started, 2)}, **extra))
        before = list(report['snapshots'].values())[-1] if report['snapshots'] else snapshot_at_start
        report['snapshots'][name] = snapshot(box, address)
        if args.silent:
            report.setdefault('unlogged', []).extend(
                unlogged(box, before, report['snapshots'][name], report['silent'][-1]['log']))

    started = time.time()
    steps.install(package, product, records)
    step('install', started)
    report['installed'] = box.reg('get', UNINSTALL + '\\' + key, 'installDir')
    if args.client == 'pe':
        report['branding'] = {'installed': branding(client_in(report['installed']), args.edition, args.lang,
                                                    package)}

    # Updates: the updater shipped with the client, started from the installed directory.
    for version in ('2.2.0', '2.3.0')[:args.updates]:
        started = time.time()
        steps.update(box.reg('get', UNINSTALL + '\\' + key, 'installDir'), version,
                     lambda: box.reg('get', UNINSTALL + '\\' + key, 'DisplayVersion') == version)
        # A request names the file below the release's "files" folder, separators doubled.
        fetched = ['/'.join([p for p in r['query']['path'].replace('\\', '/').split('/') if p][1:])
                   for r in requests(server_log) if r['query'].get('version') == version and 'path' in r['query']]
        step('update ' + version, started, downloaded=sorted(fetched))

    if args.client == 'pe':
        report['branding']['updated'] = branding(client_in(box.reg('get', UNINSTALL + '\\' + key, 'installDir')),
                                                 args.edition, args.lang, package)

    # Uninstall: the uninstaller of the current version.
    started = time.time()
    current = box.reg('get', UNINSTALL + '\\' + key, 'installDir')
    steps.uninstall(current)
    wait_for(lambda: not os.path.exists(product), 20, 'the self-deleting script')
    step('uninstall', started)

    leftovers = []
    for path in (product, os.path.join(box.env['XDG_DATA_HOME'], 'applications', 'Nimbra'),
                 os.path.join(box.env['XDG_DATA_HOME'], 'applications', '渲染云')):
        if os.path.exists(path):
            leftovers.append(path)
    for root, _, files in os.walk(os.path.join(box.env['HOME'], 'Desktop')):
        leftovers += [os.path.join(root, f) for f in files if f != 'Other.lnk']
    for hive in ('HKEY_LOCAL_MACHINE.json', 'HKEY_CURRENT_USER.json'):
        text = open(os.path.join(box.env['XDG_CONFIG_HOME'], 'winreg', hive), encoding='utf-8',
                    errors='replace').read()
        for ours in ('Uninstall/' + key, 'Quorlan/' + key, 'NimbraClient.exe', 'RenderCloud.exe'):
            if ours in text:
                leftovers.append(hive + ': ' + ours)
    report['leftovers'] = leftovers
    # What stays by design: this account's data, which the client keeps beside its cache.
    report['kept_by_design'] = [path for path in glob.glob(os.path.join(box.env['XDG_DATA_HOME'], '*', 'AllUser'))]
    report['planted_kept'] = all(os.path.exists(p) for p in planted) \
        and box.reg('get', RUN, 'OtherUpdater.exe') != '' \
        and box.reg('get', UNINSTALL + r'\OtherApp', 'DisplayName') == 'Other App' \
        and box.reg('get', COMPANY + r'\Orvix\Settings', 'InstallDir') != ''
    report['client_runs'] = open(os.path.join(box.env['TMPDIR'], 'client-ran.log')).read().splitlines() \
        if os.path.exists(os.path.join(box.env['TMPDIR'], 'client-ran.log')) else []
    report['feedback'] = [r['service'] for r in requests(records)]
    report['shots'] = shots
    return report


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--bin', required=True)
    parser.add_argument('--sandbox', required=True)
    parser.add_argument('--edition', default='standard', choices=sorted(EDITIONS))
    parser.add_argument('--lang', default='zh', choices=['zh', 'en'])
    parser.add_argument('--updates', type=int, default=2)
    parser.add_argument('--shots')
    parser.add_argument('--report')
    parser.add_argument('--client', default='script', choices=['script', 'pe'])
    parser.add_argument('--stage-only', action='store_true')
    parser.add_argument('--silent', action='store_true', help='run each program with --silent, without a display')
    parser.add_argument('--server', help='address of a running refserver serving SANDBOX/releases')
    args = parser.parse_args()
    box = Sandbox(args.sandbox, args.bin)
    try:
        report = run(box, args)
        ok = True
    except Exception as error:  # the report says what went wrong; every process still stops
        report = {'error': str(error)}
        ok = False
    finally:
        if not args.stage_only:
            box.stop_all()
    text = json.dumps(report, ensure_ascii=False, indent=2)
    if args.report:
        open(args.report, 'w', encoding='utf-8').write(text)
    print(text)
    if args.stage_only and 'error' not in report:
        return 0
    return 0 if ok and not report.get('leftovers') and report.get('planted_kept') else 1


if __name__ == '__main__':
    sys.exit(main())
