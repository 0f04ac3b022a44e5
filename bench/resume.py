#!/usr/bin/env python3
"""(d) Bytes served when an update is cut off half way and run again, against the file's
size: one file of --size MiB (the service killed, the connection reset, the updater
killed) and six files in flight, two of them cut. Uses the resume table's machinery.

  bench/resume.py --bin BUILD/bin --sandbox DIR [--size MIB]
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
from resume_table import ROWS, prepare, publish, row, update  # noqa: E402


def cut_two_of_six(m):
    for name in ('big1.bin', 'big3.bin'):
        m.service.fault('cut', str(m.size // 12), name)
    return update(m)


def bench(m):
    results = {name: row(m, name, first, None) for name, first, _, _ in ROWS[:3]}
    m.restore('update')
    publish(m, ['big%d.bin' % i for i in range(6)])
    m.save('update-six')
    m.restore('update-six')
    six = row(m, 'six', cut_two_of_six, None)
    print('(d) %d MiB cut at 50%%, run again: served in all   service killed %.3fx   reset %.3fx   updater killed '
          '%.3fx   six in flight, two cut %.3fx (goal <= 1.02; before: 1.5)'
          % (m.size >> 20, results['service-killed']['served_ratio'], results['connection-reset']['served_ratio'],
             results['updater-killed']['served_ratio'], six['served_ratio']))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--bin', required=True)
    parser.add_argument('--sandbox', required=True)
    parser.add_argument('--size', type=int, default=200)
    m = prepare(parser.parse_args())
    try:
        bench(m)
    finally:
        m.box.stop_all()
    return 0


if __name__ == '__main__':
    sys.exit(main())
