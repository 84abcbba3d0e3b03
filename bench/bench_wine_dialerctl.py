# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""dialerctl.exe under wine: write --verify on three ports against the same on one.

Each port's exchange waits on its own dialer, so three ports take about the time of one: the
ratio of the two medians, measured alternately in one run, says so whatever the machine's speed.
Three answering dialers on wine's COM1 to COM3; exits 1 if a write fails. Run after the `default`
build's dialer-sim and the `windows` build:

    python3 bench/bench_wine_dialerctl.py [runs]
"""

import os
import shutil
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests',
                                'support'))
# pylint: disable=wrong-import-position
import wine  # noqa: E402
from dialer_sim import Dialer  # noqa: E402


def timed(ports):
    args = []
    for port in ports:
        args += ['--port', port]
    start = time.monotonic()
    done = wine.run(wine.DIALERCTL, 'write', *args, '--values', '1,2,3,4,5,*1#', '--verify')
    if done.returncode != 0:
        sys.exit('bench: dialerctl.exe write --verify %s failed:\n%s' % (
            ' '.join(ports), done.stdout.decode('utf-8', 'replace')))
    return time.monotonic() - start


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    work = tempfile.mkdtemp()
    dialers = [Dialer(wine.SIMULATOR, work, []) for _ in range(3)]
    try:
        wine.link_com_ports({n + 1: d.path for n, d in enumerate(dialers)}, work)
        one, three = [], []
        for _ in range(runs):  # alternated: a busy moment weighs on both
            one.append(timed(['COM1']))
            three.append(timed(['COM1', 'COM2', 'COM3']))
    finally:
        for dialer in dialers:
            dialer.stop()
        wine.stop()
        shutil.rmtree(work, ignore_errors=True)
    a, b = statistics.median(one), statistics.median(three)
    print('dialerctl.exe write --verify under wine, median of %d runs' % runs)
    print('  one port     %6.0f ms' % (a * 1000))
    print('  three ports  %6.0f ms   x%.2f of one port' % (b * 1000, b / a))


if __name__ == '__main__':
    main()
