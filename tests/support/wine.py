# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""The cross-built Windows programs under wine, for checks and benchmarks written in Python.

Programs run through cmake/wine-run.sh, as CTest runs the cross-built tests: the prefix is
$WINEPREFIX (or the user's own), Qt for Windows is $DIALER_QT_WINDOWS. Paths are those of a
clone built by the `default` and `windows` presets; DIALER_SIM and DIALERCTL_EXE name others.
"""

import os
import subprocess
import time

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..'))
QT = os.environ.get('DIALER_QT_WINDOWS', '/var/cache/dialer-config/qt6-mingw-6.4.2')
RUN = os.path.join(ROOT, 'cmake', 'wine-run.sh')
SIMULATOR = os.environ.get('DIALER_SIM', os.path.join(ROOT, 'build', 'tools', 'dialer-sim',
                                                      'dialer-sim'))
DIALERCTL = os.environ.get('DIALERCTL_EXE', os.path.join(ROOT, 'build-windows', 'dialerctl.exe'))


def command(program, *args):
    """The command line that runs a Windows program (or wine's own, such as reg) under wine."""
    return [RUN, QT, program] + list(args)


def run(program, *args, timeout=120):
    """Runs it and returns the finished process, its output as bytes."""
    return subprocess.run(command(program, *args), stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=timeout, check=False)


def stop():
    """Ends the prefix's wine server: its programs, and what it had read of the registry."""
    subprocess.run(['wineserver', '-k'], env=dict(os.environ, WINEPREFIX=prefix()),
                   capture_output=True, check=False)


def prefix():
    return os.environ.get('WINEPREFIX') or os.path.join(
        os.environ.get('XDG_CACHE_HOME') or os.path.expanduser('~/.cache'), 'dialer-config', 'wine')


def link_com_ports(links, work):
    """Wine's COM1 to COM9: COMn leads to links[n] (a dialer's port), every other COMn to a path
    that names nothing, so that the machine's own serial ports stay out of the run."""
    for n in range(1, 10):
        target = links.get(n) or os.path.join(work, 'absent%d' % n)
        run('reg', 'add', r'HKLM\Software\Wine\Ports', '/v', 'COM%d' % n, '/t', 'REG_SZ',
            '/d', target, '/f')
    stop()  # wine makes its COM ports from the registry when its server starts
    time.sleep(1)
