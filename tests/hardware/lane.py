# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""The host's side of the hardware lane: an emulated machine with real serial drivers.

Boots Debian's kernel under qemu (TCG) on this machine's own userland, shared read-only over
virtio-9p, with USB serial adapters (qemu's usb-serial, an FTDI chip to the guest's ftdi_sio) and
a 16550 UART (pci-serial), each leading to a simulated dialer (dialer-sim) on a pseudo-terminal
here. Inside, tests/hardware/guest.sh runs tst_hardware, which asks over a virtio serial port:

    plug NAME [OPTIONS]   a USB adapter with serial NAME (a new dialer-sim with OPTIONS, or
                          the one NAME had)              -> ok
    unplug NAME           pulls it                       -> ok
    unplug-on-command NAME  pulls it the moment its dialer receives a command -> armed
    received NAME         the bytes its dialer received since the last clear, in hex
    clear NAME            -> ok

The guest's console comes out here as it goes; the run ends with 'N passed, N failed'. The
machine and every dialer end on every way out, and a machine that does not boot is a failure.

    python3 tests/hardware/lane.py --repo DIR --build DIR --work DIR --kernel F --initrd F
"""

import argparse
import json
import os
import re
import select
import signal
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
import dialer_sim  # noqa: E402 pylint: disable=wrong-import-position

VALUES = '101,2,3,4,5,*1#'


class Dialer(dialer_sim.Dialer):
    """A simulated dialer holding VALUES; `cleared` counts the commands already told."""

    def __init__(self, simulator, work, name, options):
        super().__init__(simulator, work, ['--values', VALUES] + options, 'sim-%s.log' % name)
        self.cleared = 0


class Machine:
    """qemu, its monitor (QMP) and the guest's control port."""

    def __init__(self, args, dialers):
        self.work = args.work
        self.console_path = os.path.join(self.work, 'console.log')
        qmp_path = os.path.join(self.work, 'qmp.sock')
        control_path = os.path.join(self.work, 'control.sock')
        command = [
            'qemu-system-x86_64', '-machine', 'q35,accel=tcg', '-cpu', 'max', '-m', '1536',
            '-smp', '2', '-nodefaults', '-nographic', '-no-reboot',
            '-kernel', args.kernel, '-initrd', args.initrd,
            '-append', 'console=hvc0 panic=-1 quiet dialer.repo=%s dialer.build=%s'
            % (args.repo, os.path.relpath(args.build, args.repo)),
            '-virtfs', 'local,path=/,mount_tag=hostroot,security_model=none,readonly=on,'
            'multidevs=remap',
            '-device', 'virtio-serial-pci',
            '-chardev', 'file,id=console,path=%s' % self.console_path,
            '-device', 'virtconsole,chardev=console',
            '-chardev', 'socket,id=control,path=%s,server=on,wait=off' % control_path,
            '-device', 'virtserialport,chardev=control,name=dialer.ctl',
            '-device', 'qemu-xhci,id=xhci',
            '-chardev', 'serial,id=cU1,path=%s' % dialers['U1'].path,
            '-device', 'pci-serial,chardev=cU1',
            '-qmp', 'unix:%s,server=on,wait=off' % qmp_path,
        ]
        for name in ('A1', 'A2'):
            command += ['-chardev', 'serial,id=c%s,path=%s' % (name, dialers[name].path),
                        '-device', 'usb-serial,bus=xhci.0,chardev=c%s,serial=%s,id=%s'
                        % (name, name, name)]
        self.stderr = open(os.path.join(self.work, 'qemu.log'), 'wb')
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=self.stderr,
                                        stderr=subprocess.STDOUT)
        self.qmp = self._connect(qmp_path)
        self.control = self._connect(control_path)
        self.qmp_buffer = b''
        self.events = []
        self._qmp_line()  # the greeting
        self.execute('qmp_capabilities')

    def _connect(self, path):
        for _ in range(500):
            try:
                connection = socket.socket(socket.AF_UNIX)
                connection.connect(path)
                return connection
            except OSError:
                connection.close()
                if self.process.poll() is not None:
                    break
                time.sleep(0.02)
        raise RuntimeError('qemu did not start: ' + self.log())

    def log(self):
        if not self.stderr.closed:
            self.stderr.flush()
        with open(os.path.join(self.work, 'qemu.log'), encoding='utf-8', errors='replace') as f:
            return f.read()

    def _qmp_line(self, timeout=30):
        deadline = time.monotonic() + timeout
        while b'\n' not in self.qmp_buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.qmp], [], [], left)[0]:
                raise RuntimeError('the monitor did not answer')
            chunk = self.qmp.recv(65536)
            if not chunk:
                raise RuntimeError('the monitor went away')
            self.qmp_buffer += chunk
        line, self.qmp_buffer = self.qmp_buffer.split(b'\n', 1)
        return json.loads(line)

    def execute(self, command, **arguments):
        self.qmp.sendall(json.dumps({'execute': command, 'arguments': arguments}).encode() + b'\n')
        while True:
            reply = self._qmp_line()
            if 'event' in reply:
                self.events.append(reply)
            elif 'error' in reply:
                raise RuntimeError('%s: %s' % (command, reply['error'].get('desc')))
            else:
                return reply.get('return')

    def wait_event(self, name, device, timeout=15):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for event in self.events:
                if event['event'] == name and event.get('data', {}).get('device') == device:
                    self.events.remove(event)
                    return True
            try:
                reply = self._qmp_line(max(0.1, deadline - time.monotonic()))
            except RuntimeError:
                return False
            self.events.append(reply)
        return False

    def plug(self, name, dialer):
        self.execute('chardev-add', id='c' + name,
                     backend={'type': 'serial', 'data': {'device': dialer.path}})
        self.execute('device_add', driver='usb-serial', id=name, bus='xhci.0',
                     chardev='c' + name, serial=name)

    def start_unplug(self, name):
        self.execute('device_del', id=name)

    def finish_unplug(self, name):
        if not self.wait_event('DEVICE_DELETED', name):
            raise RuntimeError('%s was not removed' % name)
        self.execute('chardev-remove', id='c' + name)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.stderr.close()


class Lane:
    """Serves the guest's requests and shows its console until it powers off."""

    def __init__(self, args):
        self.args = args
        self.simulator = os.path.join(args.build, 'tools', 'dialer-sim', 'dialer-sim')
        self.dialers = {}
        self.armed = {}
        self.pulling = []
        self.machine = None
        self.console = b''
        self.shown = 0

    def dialer(self, name, options=()):
        if name not in self.dialers or options:
            if name in self.dialers:
                self.dialers[name].stop()
            self.dialers[name] = Dialer(self.simulator, self.args.work, name, list(options))
        return self.dialers[name]

    def answer(self, request):
        words = request.split()
        if len(words) < 2:
            return 'error: no adapter named'
        verb, name, options = words[0], words[1], words[2:]
        handlers = {
            'plug': lambda: self.machine.plug(name, self.dialer(name, options)) or 'ok',
            'unplug': lambda: self.unplug(name),
            'unplug-on-command': lambda: self.arm(name),
            'received': lambda: b''.join(
                self.dialers[name].commands()[self.dialers[name].cleared:]).hex(),
            'clear': lambda: self.clear(name),
        }
        if verb not in handlers:
            return 'error: unknown request ' + verb
        return handlers[verb]()

    def unplug(self, name):
        self.machine.start_unplug(name)
        self.machine.finish_unplug(name)
        return 'ok'

    def arm(self, name):
        self.armed[name] = len(self.dialers[name].commands())
        return 'armed'

    def clear(self, name):
        self.dialers[name].cleared = len(self.dialers[name].commands())
        return 'ok'

    def pull_armed(self):
        for name, seen in list(self.armed.items()):
            if len(self.dialers[name].commands()) > seen:
                del self.armed[name]
                self.machine.start_unplug(name)
                self.pulling.append(name)
        for name in list(self.pulling):
            self.machine.finish_unplug(name)
            self.pulling.remove(name)

    def show_console(self):
        try:
            with open(self.machine.console_path, 'rb') as console:
                console.seek(len(self.console))
                self.console += console.read()
        except FileNotFoundError:
            return
        lines = self.console.split(b'\n')
        for line in lines[self.shown:-1]:
            print(line.decode('utf-8', 'replace').rstrip('\r'), flush=True)
        self.shown = len(lines) - 1

    def run(self):
        started = time.monotonic()
        for name in ('U1', 'A1', 'A2'):
            self.dialer(name)
        self.machine = Machine(self.args, self.dialers)
        pending = b''
        booted = False
        while self.machine.process.poll() is None:
            elapsed = time.monotonic() - started
            if elapsed > self.args.timeout:
                print('hardware lane: the machine ran past %d s' % self.args.timeout)
                break
            readable = select.select([self.machine.control], [], [], 0.01)[0]
            if readable:
                chunk = self.machine.control.recv(4096)
                pending += chunk
                while b'\n' in pending:
                    line, pending = pending.split(b'\n', 1)
                    try:
                        reply = self.answer(line.decode())
                    except (RuntimeError, KeyError) as error:
                        reply = 'error: %s' % error
                    self.machine.control.sendall(reply.encode() + b'\n')
            self.pull_armed()
            self.show_console()
            if not booted and b'guest: up' in self.console:
                booted = True
                print('hardware lane: booted in %.1f s' % elapsed, flush=True)
            if not booted and elapsed > 90:
                print('hardware lane: the machine did not boot within 90 s')
                break
        self.show_console()
        print('hardware lane: %.1f s in all' % (time.monotonic() - started), flush=True)
        return booted

    def close(self):
        if self.machine:
            self.machine.stop()
        for dialer in self.dialers.values():
            dialer.stop()


def verdicts(console):
    """The guest's test functions and how each ended, from QtTest's lines."""
    ended = {}
    for match in re.finditer(r'^(PASS|FAIL!) +: HardwareTest::(\w+)\(\)', console, re.M):
        if match.group(2) not in ('initTestCase', 'cleanupTestCase'):
            ended.setdefault(match.group(2), match.group(1) == 'PASS')
    return ended


def main():
    parser = argparse.ArgumentParser()
    for option in ('--repo', '--build', '--work', '--kernel', '--initrd'):
        parser.add_argument(option, required=True)
    parser.add_argument('--timeout', type=int, default=360)
    args = parser.parse_args()
    # A lane that is stopped still ends its machine and its dialers.
    for number in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        signal.signal(number, lambda received, _: sys.exit(128 + received))
    lane = Lane(args)
    try:
        booted = lane.run()
    except (RuntimeError, OSError) as error:
        print('hardware lane: %s' % error)
        booted = False
    finally:
        lane.close()
    console = lane.console.decode('utf-8', 'replace')
    if not booted:
        print(lane.machine.log() if lane.machine else '')
    ended = verdicts(console)
    passed = sum(1 for ok in ended.values() if ok)
    failed = len(ended) - passed
    if failed == 0 and 'tst_hardware exit 0' not in console:
        failed = 1  # it ended before its verdicts: a crash, a boot or a time-out
    print('%d passed, %d failed' % (passed, failed))
    return 0 if booted and passed and failed == 0 else 1


if __name__ == '__main__':
    sys.exit(main())
