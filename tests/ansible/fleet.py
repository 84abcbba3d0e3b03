# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""A fleet of site PCs for playbooks: hosts with simulated dialers, one of them behind SSH.

Every host is this machine. Each has its own dialers (dialer-sim on pseudo-terminals, each
logging the commands it receives) and its own port map, passed to the modules as port_map. The
hosts named in `ssh_hosts` are reached through an sshd started on 127.0.0.2 with keys made on
the spot, so the modules travel as Ansible ships them; the others run with the local connection.
Everything started here is ended by close().
"""

import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, 'tests', 'support'))
import dialer_sim  # noqa: E402 pylint: disable=wrong-import-position
BUILD = os.environ.get('DIALER_BUILD', os.path.join(ROOT, 'build'))
SIMULATOR = os.path.join(BUILD, 'tools', 'dialer-sim', 'dialer-sim')
DIALERCTL = os.path.join(BUILD, 'src', 'dialerctl', 'dialerctl')
COLLECTIONS = os.path.join(ROOT, 'ansible')
PYTHON = '/usr/bin/python3'  # Debian's, which ansible-core runs on


class Dialer(dialer_sim.Dialer):
    """A simulated dialer; `commands()` lists what it received as text, without CR LF."""

    def __init__(self, work, options):
        super().__init__(SIMULATOR, work, options)

    def commands(self):
        return [command.decode('cp1251').rstrip('\r\n') for command in super().commands()]

    def saves(self):
        return [command for command in self.commands() if command.startswith('!')]


class Fleet:
    """Hosts, each with dialers as COM1, COM2 ... of its own port map."""

    def __init__(self, hosts, ssh_hosts=(), host_vars=None):
        self.work = tempfile.mkdtemp(prefix='dialer-fleet-')
        self.host_vars = host_vars or {}
        self.dialers = {}
        self.maps = {}
        self.sshd = None
        self.ssh_hosts = set(ssh_hosts)
        try:
            for host, dialers in hosts.items():
                self.dialers[host] = [Dialer(self.work, options) for options in dialers]
                self.maps[host] = os.path.join(self.work, host + '-ports.ini')
                with open(self.maps[host], 'w', encoding='utf-8') as ports:
                    ports.write('[ports]\n')
                    for number, dialer in enumerate(self.dialers[host], 1):
                        ports.write('COM%d=%s\n' % (number, dialer.path))
            if self.ssh_hosts:
                self._start_sshd()
            self._write_inventory()
        except Exception:
            self.close()
            raise

    def dialer(self, host, number=1):
        return self.dialers[host][number - 1]

    def _start_sshd(self):
        keys = os.path.join(self.work, 'keys')
        os.mkdir(keys, 0o700)
        for name in ('host', 'client'):
            subprocess.run(['ssh-keygen', '-q', '-t', 'ed25519', '-N', '', '-f',
                            os.path.join(keys, name)], check=True)
        shutil.copy(os.path.join(keys, 'client.pub'), os.path.join(keys, 'authorized'))
        with socket.socket() as probe:
            probe.bind(('127.0.0.2', 0))
            self.ssh_port = probe.getsockname()[1]
        config = os.path.join(self.work, 'sshd_config')
        with open(config, 'w', encoding='utf-8') as out:
            out.write('\n'.join([
                'ListenAddress 127.0.0.2:%d' % self.ssh_port,
                'HostKey %s/host' % keys,
                'AuthorizedKeysFile %s/authorized' % keys,
                'PermitRootLogin prohibit-password',
                'PasswordAuthentication no',
                'KbdInteractiveAuthentication no',
                'UsePAM no',
                'StrictModes no',
                'PidFile none',
                'Subsystem sftp internal-sftp',
                '']))
        os.makedirs('/run/sshd', mode=0o755, exist_ok=True)
        with open(os.path.join(self.work, 'sshd.log'), 'wb') as log:
            self.sshd = subprocess.Popen(['/usr/sbin/sshd', '-D', '-e', '-f', config],
                                         stderr=log)
        for _ in range(500):
            try:
                with socket.create_connection(('127.0.0.2', self.ssh_port), 0.2):
                    return
            except OSError:
                if self.sshd.poll() is not None:
                    break
                time.sleep(0.02)
        with open(os.path.join(self.work, 'sshd.log'), encoding='utf-8') as log:
            raise RuntimeError('sshd did not start: ' + log.read())

    def _write_inventory(self):
        hosts = {}
        for host, dialers in self.dialers.items():
            variables = {'port_map': self.maps[host], 'dialerctl': DIALERCTL,
                         'dialer_devices': [dialer.path for dialer in dialers],
                         'ansible_python_interpreter': PYTHON}
            variables.update(self.host_vars.get(host, {}))
            if host in self.ssh_hosts:
                variables.update({
                    'ansible_connection': 'ssh', 'ansible_host': '127.0.0.2',
                    'ansible_port': self.ssh_port, 'ansible_user': 'root',
                    'ansible_ssh_private_key_file': os.path.join(self.work, 'keys', 'client'),
                    'ansible_ssh_common_args': '-o StrictHostKeyChecking=no '
                                               '-o UserKnownHostsFile=/dev/null'})
            else:
                variables['ansible_connection'] = 'local'
            hosts[host] = variables
        self.inventory = os.path.join(self.work, 'inventory.json')
        with open(self.inventory, 'w', encoding='utf-8') as out:
            # The group the collection's sample playbook names.
            json.dump({'all': {'children': {'site_pcs': {'hosts': hosts}}}}, out)

    def play(self, tasks, check=False, diff=False, forks=5, play_options=None, playbook=None):
        """Runs one play of `tasks` on every host; returns {host: [result of each task]}.

        With `playbook`, runs that file instead, with dialerctl on the PATH and the fleet's
        folder as the home of the user it runs as.
        """
        home = os.environ.get('HOME', self.work)
        search = os.environ.get('PATH', '')
        if playbook:
            home, search = self.work, os.path.dirname(DIALERCTL) + os.pathsep + search
        else:
            play = {'hosts': 'all', 'gather_facts': False, 'tasks': tasks}
            play.update(play_options or {})
            playbook = os.path.join(self.work, 'playbook.json')
            with open(playbook, 'w', encoding='utf-8') as out:
                json.dump([play], out)  # JSON is YAML
        command = ['ansible-playbook', '-i', self.inventory, '--forks', str(forks), playbook]
        if check:
            command.append('--check')
        if diff:
            command.append('--diff')
        environment = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=COLLECTIONS,
                           ANSIBLE_STDOUT_CALLBACK='fleet_results', ANSIBLE_NOCOLOR='1',
                           ANSIBLE_CALLBACK_PLUGINS=os.path.join(HERE, 'callback'),
                           ANSIBLE_HOST_KEY_CHECKING='False', ANSIBLE_RETRY_FILES_ENABLED='0',
                           ANSIBLE_LOCAL_TEMP=os.path.join(self.work, 'ansible-local'),
                           ANSIBLE_SSH_ARGS='-o ControlMaster=no',
                           ANSIBLE_PYTHON_INTERPRETER=PYTHON, HOME=home, PATH=search)
        done = subprocess.run(command, env=environment, capture_output=True, text=True,
                              timeout=300, check=False)
        try:
            report = json.loads(done.stdout)
        except ValueError as error:
            raise AssertionError('ansible-playbook printed no JSON:\n%s\n%s'
                                 % (done.stdout, done.stderr)) from error
        results = {host: [] for host in self.dialers}
        for task in report['tasks']:
            for host, result in task['hosts'].items():
                results[host].append(result)
        return results

    def close(self):
        for dialers in self.dialers.values():
            for dialer in dialers:
                dialer.stop()
        if self.sshd and self.sshd.poll() is None:
            self.sshd.send_signal(signal.SIGTERM)
            self.sshd.wait(10)
        shutil.rmtree(self.work, ignore_errors=True)
