# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""dialerctl.exe under wine, through wine's COM1 to COM3 to simulated dialers on pseudo-terminals
(one that answers, one silent, one that answers garbage), reading its --json and the bytes each
dialer received.

Run after the `default` build's dialer-sim and the `windows` build, with Qt for Windows in place:
    python3 tests/windows/test_dialerctl_exe.py
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
# pylint: disable=wrong-import-position
import wine  # noqa: E402
from dialer_sim import Dialer  # noqa: E402

STORED = '111,222,333,444,555,*100#'
# A stand-in for the opening helper whose opening of a device named ...-hang waits until
# DEVICE.release exists (tests/device/opener_standin_win.cpp).
STANDIN = os.path.join(os.path.dirname(wine.DIALERCTL), 'dialer-open-standin.exe')


def dialerctl(*args):
    """dialerctl.exe's --json document and its exit status."""
    done = wine.run(wine.DIALERCTL, *args, '--json')
    try:
        return json.loads(done.stdout.decode('utf-8')), done.returncode
    except ValueError as error:
        raise AssertionError('no JSON from dialerctl.exe %s: %r %r' % (
            ' '.join(args), done.stdout, done.stderr)) from error


def by_port(document):
    return {entry['port']: entry for entry in document['ports']}


class ThroughComPorts(unittest.TestCase):
    """dialerctl.exe with wine's COM1 answering, COM2 silent and COM3 garbled."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        cls.dialers = [Dialer(wine.SIMULATOR, cls.work, options) for options in
                       (['--values', STORED], ['--silent'], ['--garbage'])]
        wine.link_com_ports({n + 1: d.path for n, d in enumerate(cls.dialers)}, cls.work)

    @classmethod
    def tearDownClass(cls):
        for dialer in cls.dialers:
            dialer.stop()
        wine.stop()
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_ports(self):
        document, _ = dialerctl('ports')
        self.assertEqual((document['schema'], document['command']), (2, 'ports'))
        states = {entry['port']: entry['state'] for entry in document['ports']}
        # Wine answers a COM port whose link leads nowhere with an error of its own, not "missing".
        self.assertEqual([states.get('COM%d' % n) for n in (1, 2, 3)], ['free'] * 3, states)
        self.assertNotEqual(states.get('COM4'), 'free', states)

    def test_console(self):
        # In a console (wine makes one on a terminal) the Russian message arrives as characters,
        # not as UTF-8 bytes read in the console's code page, and the Windows device path keeps
        # its backslashes.
        line = ' '.join("'%s'" % part
                        for part in wine.command(wine.DIALERCTL, 'read', '--port', 'COM9'))
        done = subprocess.run(['script', '-qc', line, '/dev/null'], stdin=subprocess.DEVNULL,
                              capture_output=True, env=dict(os.environ, LANG='C.UTF-8'),
                              timeout=120, check=False)
        shown = done.stdout.decode('utf-8', 'replace').replace('\r', '').replace('\n', '')
        self.assertIn(r'Не удалось открыть порт COM9 (\\.\COM9)', shown)

    def test_read_then_write(self):
        document, status = dialerctl('read', '--port', 'COM1', '--port', 'COM2', '--port', 'COM3')
        ports = by_port(document)
        self.assertEqual([ports[p]['outcome'] for p in ('COM1', 'COM2', 'COM3')],
                         ['read', 'no-answer', 'check-fields'], document)
        self.assertEqual(ports['COM1']['values'], STORED.split(','))
        self.assertEqual(status, 1)

        start = time.monotonic()
        document, status = dialerctl('write', '--port', 'COM1', '--values', 'Ив,2,3,4,5,*1#',
                                     '--verify')
        elapsed = time.monotonic() - start
        self.assertEqual((document['ports'][0]['outcome'], status), ('verified', 0), document)
        # The save in windows-1251, CR LF, exactly as it went out.
        self.assertIn(b'!\xc8\xe2,2,3,4,5,*1#,\r\n', self.dialers[0].commands())
        # A verify holds two 500 ms windows (wine's start comes on top).
        self.assertGreaterEqual(elapsed, 1.0)


def lines(path):
    try:
        with open(path, 'rb') as marks:
            return marks.read().count(b'\n')
    except FileNotFoundError:
        return 0


class OpeningThatHangs(unittest.TestCase):
    """A port whose opening the system holds, as a Bluetooth port's is held while its far end is
    switched off: dialerctl.exe ends at its deadline with its output closed, and runs after it
    leave one helper waiting on the port. Wine cannot hold a CreateFile (its server opens devices
    itself, and an opening that hung there would stop every program of the prefix), so a stand-in
    helper beside a copy of dialerctl.exe hangs in the driver's place.

    Wine also hands every program it starts its own standard error (its debug channel), whatever
    the program was given: under wine the waiting helper holds dialerctl.exe's standard error,
    which on Windows it never sees (it inherits its two pipes alone). The runs' errors go to a
    file here, and their output to the pipe that is read to its end."""

    def test_runs_end_and_one_helper_waits(self):
        work = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, work, True)
        programs = os.path.join(work, 'programs')
        os.mkdir(programs)
        shutil.copy(wine.DIALERCTL, programs)
        shutil.copy(STANDIN, os.path.join(programs, 'dialer-open.exe'))
        port = os.path.join(work, 'port-hang')
        self.addCleanup(lambda: open(port + '.release', 'wb').close())

        for _ in range(3):
            with open(os.path.join(work, 'stderr'), 'wb') as errors:
                done = subprocess.run(
                    wine.command(os.path.join(programs, 'dialerctl.exe'), 'read', '--port',
                                 'Z:' + port.replace('/', '\\'), '--json'),
                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=errors, timeout=60,
                    check=False)
            document, status = json.loads(done.stdout.decode('utf-8')), done.returncode
            entry = document['ports'][0]
            self.assertEqual((entry['outcome'], entry['reason'], status),
                             ('port-error', 'timeout', 1), document)
        # Each run ended, its output read to the end, while the first helper still waits; the
        # later runs found it waiting and started none of their own.
        self.assertEqual((lines(port + '.started'), lines(port + '.returned')), (1, 0))


if __name__ == '__main__':
    unittest.main(verbosity=2)
