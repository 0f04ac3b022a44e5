#!/usr/bin/env python3
"""Another local user against the programs an administrator runs, in a sandbox.

  local_attacks.py --bin BUILD/bin --sandbox DIR

Needs root (the administrator) and setpriv, to act as another user (nobody); skipped
otherwise (exit 77). Each row starts from a staged machine, sometimes left as an earlier
version left the product folder (open to everyone, not sticky), lets the other user plant
what the row says, then runs the administrator's program silently. A row passes when the
plant reached the program (the other user could write where the row says), nothing outside
the product folder changed, the administrator's run never ran the other user's file, and
the run ended 0 with only the administrators' files in place, or with its failure code.
Prints a JSON report; exit code 1 when a row failed.
"""
import argparse
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import placement_faults  # noqa: E402

OTHER = 65534
EVIL = '#!/bin/sh\ntouch "%s"\n'
CLOSED = ('update', 'uninstall.exe', 'service.ini', 'ZQ.ini')


class Attack:
    """One row's machine: the other user's hands, and what must stay as it was."""

    def __init__(self, m):
        self.m = m
        self.ran = m.box.path('other', 'evil-ran')
        self.secret_file = m.box.path('secret', 'root-only.txt')
        self.secret_dir = m.box.path('secret', 'root-only-dir')

    def other(self, script, check=True):
        """A shell script run as the other user; its exit code."""
        out = subprocess.run(['setpriv', '--reuid=%d' % OTHER, '--regid=%d' % OTHER, '--clear-groups', '--',
                              '/bin/sh', '-c', script], capture_output=True, timeout=60)
        if check and out.returncode != 0:
            raise RuntimeError('as the other user: %s: %s' % (script, out.stderr.decode()))
        return out.returncode

    def evil_program(self):
        path = self.m.box.path('other', 'evil')
        open(path, 'w').write(EVIL % self.ran)
        os.chmod(path, 0o755)
        return path

    def outside_kept(self):
        return open(self.secret_file).read() == 'secret\n' \
            and sorted(os.listdir(self.secret_dir)) == ['a', 'b'] \
            and stat.S_IMODE(os.stat(self.secret_file).st_mode) == 0o600

    def installed_is_ours(self):
        """The registered version folder and everything the administrators run from it."""
        installed = self.m.installed()
        if not installed or not os.path.isdir(installed):
            return False
        return all(os.lstat(os.path.join(installed, name)).st_uid == 0
                   for name in ['.'] + [n for n in ('update', 'uninstall.exe', 'service.ini')
                                        if os.path.lexists(os.path.join(installed, n))])

    def verdict(self, program, reached, extra=True, expected=(0,)):
        code, errors = self.m.run(program)
        ran = os.path.exists(self.ran)
        # Removed, nothing is in place; placed, only the administrators' files are.
        placed = not os.path.exists(self.m.product) if program == 'uninstall' else self.installed_is_ours()
        ok = reached and extra and not ran and self.outside_kept() and code in expected and (code != 0 or placed)
        return {'reached': reached, 'code': code, 'evil_ran': ran, 'outside_kept': self.outside_kept(),
                'placed': placed, 'errors': errors.splitlines()[1:4], 'ok': ok}


def as_earlier_version_left(m):
    """The product folder as the programs left it before: everything open to everyone but
    the programs and files they closed."""
    for folder, dirs, files in os.walk(m.product):
        for name in dirs + files:
            path = os.path.join(folder, name)
            if not os.path.islink(path) and name not in CLOSED:
                mode = os.stat(path).st_mode
                os.chmod(path, stat.S_IMODE(mode) & ~stat.S_ISVTX | 0o666 | (0o111 if mode & 0o111 or
                                                                                stat.S_ISDIR(mode) else 0))
    os.chmod(m.product, 0o777)


def version_folders(m):
    return sorted(os.path.join(m.product, d) for d in os.listdir(m.product)
                  if os.path.isdir(os.path.join(m.product, d)) and not os.path.islink(os.path.join(m.product, d)))


def replace_elevated_programs(m, a):
    """After an install and an update: the programs in every version folder, old and new."""
    code, _ = m.run('update')
    if code != 0:
        return {'ok': False, 'setup': code}
    evil = a.evil_program()
    reached, replaced = True, []
    for folder in version_folders(m):
        reached = reached and a.other('touch "%s/mine.txt"' % folder, check=False) == 0
        for name in ('update', 'uninstall.exe', 'service.ini'):
            target = os.path.join(folder, name)
            a.other('mv -f "%s" "%s.away" 2>/dev/null; cp "%s" "%s" 2>/dev/null' % (target, target, evil, target),
                    check=False)
            if open(target, 'rb').read() == open(evil, 'rb').read():
                replaced.append(target)
    m.uninstaller = m.installed()
    row = a.verdict('uninstall', reached, not replaced)
    row['replaced'] = replaced
    return row


def mended_earlier_installation(m, a):
    """An installation an earlier version opened to all: the next update closes it again."""
    as_earlier_version_left(m)
    old = m.installed()
    row = a.verdict('update', True)
    evil = a.evil_program()
    replaced = [name for name in ('update', 'uninstall.exe', 'service.ini')
                for folder in (old, m.installed())
                if a.other('cp "%s" "%s/%s" 2>/dev/null' % (evil, folder, name), check=False) == 0]
    row['replaced_after'] = replaced
    row['ok'] = row['ok'] and not replaced
    return row


def planted_zq_ini(m, a):
    """A ZQ.ini beside the installed updater naming another client: not read."""
    installed = m.installed()
    reached = a.other('printf "[info]\\nexe=update\\nname=x\\n" > "%s/ZQ.ini"' % installed, check=False) == 0
    row = a.verdict('update', reached)
    row['ok'] = row['ok'] and os.path.isfile(os.path.join(m.installed(), 'NimbraClient.exe'))
    return row


def staging_plant(m, a, inside):
    """The other user makes the staging folder first, in a product folder left open."""
    as_earlier_version_left(m)
    staging = os.path.join(m.product, '2.2.0.staging')
    reached = a.other('mkdir "%s" && %s' % (staging, inside.format(staging)), check=False) == 0
    return a.verdict('update', reached)


def planted_mark_link(m, a):
    return staging_plant(m, a, 'ln -s "%s" "{0}/.unfinished"' % a.secret_file)


def planted_meta_link(m, a):
    return staging_plant(m, a, 'ln -s "%s" "{0}/NimbraPVX.exe.part.meta" && touch "{0}/NimbraPVX.exe.part"'
                         % a.secret_file)


def staging_link_to_folder(m, a):
    as_earlier_version_left(m)
    staging = os.path.join(m.product, '2.2.0.staging')
    reached = a.other('ln -s "%s" "%s"' % (a.secret_dir, staging), check=False) == 0
    return a.verdict('update', reached)


def version_name_made_in_advance(m, a):
    """Every name the update's new version folder could take exists already."""
    as_earlier_version_left(m)
    script = ('cd "%s" && for s in $(seq -w 0 59); do for z in $(seq -w 0 999); do echo 2.2.0.$s$z; done; done '
              '| xargs mkdir' % m.product)
    reached = a.other(script, check=False) == 0
    row = a.verdict('update', reached, expected=(0, 15))
    row['others_kept'] = len(os.listdir(m.product)) >= 60000
    row['ok'] = row['ok'] and row['others_kept']
    return row


def link_swapped_during_removal(m, a):
    """A folder of the other user's inside the installation becomes a link to a folder only
    root may change, again and again, while the uninstaller removes the tree."""
    installed = m.installed()
    mine = os.path.join(installed, 'plugins', 'mine')
    reached = a.other('mkdir "%s" && cd "%s" && for i in $(seq 1 3000); do : > f$i; done' % (mine, mine),
                      check=False) == 0
    stop = threading.Event()
    swaps = [0]

    def swap():
        while not stop.is_set():
            if a.other('mv "%s" "%s.x" 2>/dev/null && ln -s "%s" "%s" 2>/dev/null && rm -f "%s" && mv "%s.x" "%s"'
                       % (mine, mine, a.secret_dir, mine, mine, mine, mine), check=False) == 0:
                swaps[0] += 1

    racer = threading.Thread(target=swap)
    racer.start()
    try:
        m.uninstaller = installed
        row = a.verdict('uninstall', reached)
    finally:
        stop.set()
        racer.join()
    row['swaps'] = swaps[0]
    row['ok'] = row['ok'] and swaps[0] > 0
    return row


def links_in_a_retired_folder(m, a):
    """Links and a folder of the other user's in the previous version folder, which the
    update back to its version retires."""
    previous = [folder for folder in version_folders(m) if folder != m.installed()][0]
    plant = ('ln -s "{secret_dir}" "{0}/plugins/secret" && ln -s "{secret_file}" "{0}/secret.txt" && '
             'mkdir "{0}/mine" && ln -s "{secret_dir}" "{0}/mine/deep"')
    reached = a.other(plant.format(previous, secret_dir=a.secret_dir, secret_file=a.secret_file), check=False) == 0
    row = a.verdict('reupdate', reached)
    row['retired'] = not os.path.exists(previous)
    row['ok'] = row['ok'] and row['retired']
    return row


# row, the state it starts from
ROWS = [(replace_elevated_programs, 'update'), (mended_earlier_installation, 'update'),
        (planted_zq_ini, 'update'), (planted_mark_link, 'update'), (planted_meta_link, 'update'),
        (staging_link_to_folder, 'update'), (version_name_made_in_advance, 'update'),
        (links_in_a_retired_folder, 'reupdate'), (link_swapped_during_removal, 'uninstall')]


def reachable(m):
    """The other user reaches the sandbox, and has a folder of its own there."""
    os.chmod(m.box.root, 0o755)
    os.makedirs(m.box.path('other'), exist_ok=True)
    os.chown(m.box.path('other'), OTHER, OTHER)
    os.makedirs(m.box.path('secret', 'root-only-dir'), exist_ok=True)
    for name in ('a', 'b'):
        open(m.box.path('secret', 'root-only-dir', name), 'w').write(name)
    os.chmod(m.box.path('secret', 'root-only-dir'), 0o755)
    path = m.box.path('secret', 'root-only.txt')
    open(path, 'w').write('secret\n')
    os.chmod(path, 0o600)


def reaches(folder):
    """Every folder down to this one lets others pass."""
    while folder != '/':
        if not os.stat(folder).st_mode & 0o001:
            return False
        folder = os.path.dirname(folder)
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--bin', required=True)
    parser.add_argument('--sandbox', required=True)
    args = parser.parse_args()
    if os.geteuid() != 0 or not shutil.which('setpriv'):
        print('local_attacks: skipped, needs root and setpriv to act as another local user')
        return 77
    sandbox = os.path.abspath(args.sandbox)
    shutil.rmtree(sandbox, ignore_errors=True)
    temporary = None
    if not reaches(os.path.dirname(sandbox)):
        # A build below a home only its owner may enter: the sandbox goes where others reach.
        temporary = tempfile.mkdtemp(prefix='local-attacks-')
        os.chmod(temporary, 0o755)
        sandbox = os.path.join(temporary, 'box')
        if not reaches(temporary):
            shutil.rmtree(temporary)
            print('local_attacks: skipped, another user cannot reach %s' % temporary)
            return 77
    m = placement_faults.Machine(sandbox, args.bin, None)

    def attack(row):
        reachable(m)
        return row(m, Attack(m))

    try:
        return placement_faults.row_table(m, [(row.__name__, state, lambda row=row: attack(row))
                                              for row, state in ROWS])
    finally:
        if temporary:
            shutil.rmtree(temporary, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
