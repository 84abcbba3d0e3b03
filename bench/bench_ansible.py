# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""One playbook over 20 site PCs with three dialers each (forks 20), against the same on one.

Every host is this machine with the local connection, so the figure is what Ansible and
dialerctl cost on two cores, not a network's. Each run changes the free SMS code of every
dialer, so every task writes and reads back.

    python3 bench/bench_ansible.py [runs]
"""

import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests',
                                'ansible'))
from fleet import Fleet  # noqa: E402 pylint: disable=wrong-import-position


def task(code):
    return {'dialerconfig.dialer.dialer_settings': {
        'port': '{{ item }}', 'free': code, 'port_map': '{{ port_map }}',
        'dialerctl': '{{ dialerctl }}'}, 'loop': ['COM1', 'COM2', 'COM3']}


def timed(fleet, run):
    start = time.monotonic()
    results = fleet.play([task('*%d#' % run)], forks=20)
    elapsed = time.monotonic() - start
    for host, (result,) in results.items():
        outcomes = [item['outcome'] for item in result['results']]
        if outcomes != ['changed'] * 3:
            sys.exit('bench: %s ended %s' % (host, outcomes))
    return elapsed


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    dialers = [['--values', '1,2,3,4,5,*0#']] * 3
    one = Fleet({'site1': dialers})
    many = Fleet({'site%d' % n: dialers for n in range(1, 21)})
    try:
        alone, fleet = [], []
        for run in range(1, runs + 1):
            alone.append(timed(one, run))  # interleaved: a busy moment weighs on both
            fleet.append(timed(many, run))
    finally:
        one.close()
        many.close()
    a, b = statistics.median(alone), statistics.median(fleet)
    print('ansible playbook, median of %d runs, three dialers a host' % runs)
    print('  one host          %6.2f s' % a)
    print('  20 hosts, forks 20 %6.2f s   x%.2f of one host' % (b, b / a))


if __name__ == '__main__':
    main()
