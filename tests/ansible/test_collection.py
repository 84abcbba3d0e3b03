# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""The dialerconfig.dialer collection in playbooks, against simulated dialers on several hosts.

Run as root (one host is reached over SSH as root), after the build:
    python3 tests/ansible/test_collection.py
"""

import json
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fleet import COLLECTIONS, DIALERCTL, Fleet  # noqa: E402 pylint: disable=wrong-import-position
from unittest_summary import summary  # noqa: E402 pylint: disable=wrong-import-position

STORED = '101,202,303,404,505,*7#'
BEFORE = dict(phone1='101', phone2='202', phone3='303', phone4='404', phone5='505', free='*7#')
SAVE = '!101,202,303,404,505,*100#,'

# The task of every host: the free SMS code, anything else from the host's own variables.
SET_FREE = {
    'name': 'free SMS code',
    'dialerconfig.dialer.dialer_settings': {
        'port': 'COM1', 'free': '*100#', 'port_map': '{{ port_map }}',
        'dialerctl': '{{ dialerctl }}',
        'expect_serial': '{{ expect_serial | default(omit) }}',
        'retries': '{{ retries | default(0) }}',
        'wait_busy': '{{ wait_busy | default(0) }}',
        'timeout': '{{ task_timeout | default(30) }}',
        'backup_dir': '{{ backup_dir | default(omit) }}',
        'log': '{{ log | default(omit) }}',
    },
}
INFO = {
    'name': 'what is plugged in',
    'dialerconfig.dialer.dialer_info': {'port_map': '{{ port_map }}',
                                        'dialerctl': '{{ dialerctl }}'},
}
READ_ALL = {  # every port that opens, named explicitly
    'name': 'every dialer',
    'dialerconfig.dialer.dialer_info': dict(INFO['dialerconfig.dialer.dialer_info'],
                                            ports=['all']),
}


def program(test, text):
    """An executable file of `text` in a folder of the test's own, ended with it."""
    folder = tempfile.mkdtemp(prefix='dialer-program-')
    test.addCleanup(shutil.rmtree, folder)
    path = os.path.join(folder, 'dialerctl')
    with open(path, 'w', encoding='utf-8') as out:
        out.write(text)
    os.chmod(path, 0o755)
    return path


class Provisioning(unittest.TestCase):
    """Check, apply and apply again on site PCs, one of them over SSH."""

    def test_check_then_apply_then_apply_again(self):
        hosts = {name: [['--values', STORED], ['--values', STORED, '--silent']]
                 for name in ('site1', 'site2', 'site3', 'remote')}
        kept = tempfile.mkdtemp(prefix='dialer-kept-')
        self.addCleanup(shutil.rmtree, kept)
        log = os.path.join(kept, 'audit.jsonl')
        fleet = Fleet(hosts, ssh_hosts=['remote'],
                      host_vars={'site1': {'backup_dir': kept, 'log': log}})
        self.addCleanup(fleet.close)

        checked = fleet.play([SET_FREE, READ_ALL], check=True, diff=True)
        for host, (setting, info) in checked.items():
            with self.subTest(run='check', host=host):
                self.assertFalse(setting.get('failed'), setting.get('msg'))
                self.assertEqual(setting['outcome'], 'would-change')
                self.assertTrue(setting['changed'])
                self.assertFalse(setting['written'])
                self.assertEqual(setting['diff']['before'], BEFORE)
                self.assertEqual(setting['diff']['after'], dict(BEFORE, free='*100#'))
                self.assertEqual([d['outcome'] for d in info['dialers']], ['read', 'no-answer'])
                self.assertEqual(info['dialers'][0]['values'], BEFORE)
                self.assertEqual([p['state'] for p in info['ports']], ['free', 'free'])
                self.assertFalse(info['changed'])
                self.assertEqual(fleet.dialer(host).commands(), ['?6', '?6'])

        applied = fleet.play([SET_FREE])
        again = fleet.play([SET_FREE])
        for host in hosts:
            first, second = applied[host][0], again[host][0]
            with self.subTest(run='apply twice', host=host):
                self.assertFalse(first.get('failed'), first.get('msg'))
                self.assertEqual((first['outcome'], first['changed']), ('changed', True))
                self.assertEqual(first['after'], dict(BEFORE, free='*100#'))
                self.assertEqual((second['outcome'], second['changed']), ('unchanged', False))
                self.assertEqual(fleet.dialer(host).saves(), [SAVE])  # none from the second run
        backup = applied['site1'][0]['backup_file']
        with open(backup, 'rb') as kept_file:
            self.assertEqual(kept_file.read(), b'"101","202","303","404","505","*7#"\r\n')
        # Both hold telephone numbers: readable by the user the task ran as alone.
        for kept_path in (backup, log):
            self.assertEqual(stat.S_IMODE(os.stat(kept_path).st_mode), 0o600, kept_path)
        with open(log, encoding='utf-8') as lines:
            logged = [json.loads(line) for line in lines]
        # The check, the apply with its read back, the apply again: each command a line.
        self.assertEqual([line['command'] for line in logged],
                         ['read'] * 2 + ['write'] + ['read'] * 2)
        self.assertEqual(logged[2]['written'], list(dict(BEFORE, free='*100#').values()))
        self.assertTrue(all('serial' in line for line in logged), logged)

        # The backup brings the dialer back to what it held.
        restore = {'dialerconfig.dialer.dialer_settings': {
            'port': 'COM1', 'src': backup, 'port_map': '{{ port_map }}',
            'dialerctl': '{{ dialerctl }}'}, 'when': "inventory_hostname == 'site1'"}
        restored = fleet.play([restore])['site1'][0]
        self.assertEqual((restored['outcome'], restored['after']), ('changed', BEFORE))
        self.assertEqual(fleet.dialer('site1').saves(), [SAVE, '!101,202,303,404,505,*7#,'])


class Failures(unittest.TestCase):
    """Each host meets another fault; a failed port fails its task with the reason code."""

    def test_each_fault_fails_the_task_with_its_reason(self):
        #            dialer's behaviour, host's variables, reason, changed, written
        # A dialerctl that does not end on the deadline's SIGTERM is killed, and prints nothing.
        deaf = program(self, '#!%s\nimport os, signal, sys\n'
                             'signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM})\n'
                             'os.execv(%r, sys.argv)\n' % (sys.executable, DIALERCTL))
        cases = {
            'altered': (['--alter', '6'], {}, 'mismatch', True, True),
            'silent': (['--silent'], {}, 'no-answer', False, False),
            'stranger': ([], {'expect_serial': 'A50285BI'}, 'identity', False, False),
            'cut': (['--ignore-saves'], {'retries': 20, 'task_timeout': 3}, 'interrupted', True,
                    True),
            'killed': (['--ignore-saves'], {'retries': 20, 'task_timeout': 2, 'dialerctl': deaf},
                       'interrupted', True, True),
        }
        fleet = Fleet({host: [['--values', STORED] + case[0]] for host, case in cases.items()},
                      host_vars={host: case[1] for host, case in cases.items()})
        self.addCleanup(fleet.close)
        results = fleet.play([SET_FREE], forks=5)
        for host, (_, _, reason, changed, written) in cases.items():
            result = results[host][0]
            with self.subTest(host=host):
                self.assertTrue(result.get('failed'), result)
                self.assertEqual(result['reason'], reason)
                self.assertEqual(result['changed'], changed)
                self.assertEqual(result['written'], written)
                self.assertIn(reason, result['msg'])
                if host != 'killed':  # a port's verdict, in the window's words
                    self.assertTrue(any('\u0400' <= c <= '\u04ff' for c in result['message']),
                                    result['message'])
        self.assertEqual(fleet.dialer('stranger').commands(), [])  # refused before anything
        self.assertEqual(fleet.dialer('silent').saves(), [])
        self.assertEqual(fleet.dialer('killed').saves()[:1], [SAVE])

    def test_what_cannot_be_done_exactly_is_refused_with_nothing_sent(self):
        # A dialerctl from before --schema: its parser refuses the option, exit 2. Without it,
        # the run would go ahead and reach the dialer.
        old = program(self, '#!%s\nimport json, os, sys\n'
                            'if "--schema" in sys.argv:\n'
                            '    said = "Unknown option \'schema\'."\n'
                            '    print("dialerctl: " + said, file=sys.stderr)\n'
                            '    print(json.dumps({"schema": 2, "command": sys.argv[1],'
                            ' "ports": [], "error": {"reason": "usage", "message": said}}))\n'
                            '    sys.exit(2)\n'
                            'os.execv(%r, sys.argv)\n' % (sys.executable, DIALERCTL))
        fleet = Fleet({'site': [['--values', STORED]], 'old': [['--values', STORED]]},
                      host_vars={'site': {'octal': 83, 'unset': None},
                                 'old': {'octal': 83, 'unset': None, 'dialerctl': old}})
        self.addCleanup(fleet.close)
        refusals = [  # the task's arguments beside the port's, and the reason
            ({'phone1': 79001234567}, 'input'),  # YAML's +79001234567 unquoted
            ({'phone2': '{{ octal }}'}, 'input'),  # YAML's 0123 unquoted, through a variable
            ({'free': '*100#', 'expect_serial': 12345}, 'input'),
            ({'free': '*100#', 'expect_serial': "{{ serial | default('') }}"}, 'usage'),
            ({'free': '*100#', 'expect_serial': '{{ unset }}'}, 'usage'),  # null in host_vars
            ({'free': '*100#', 'port_map': '{{ unset }}'}, 'usage'),
            ({'free': '*100#', 'port': ' ALL'}, 'usage'),
        ]
        tasks = [{'dialerconfig.dialer.dialer_settings': dict(
            {'port': 'COM1', 'port_map': '{{ port_map }}', 'dialerctl': '{{ dialerctl }}'},
            **arguments), 'ignore_errors': True} for arguments, _ in refusals]
        results = fleet.play(tasks + [dict(SET_FREE, ignore_errors=True),
                                      dict(INFO, ignore_errors=True)])
        for host in ('site', 'old'):
            for (arguments, reason), result in zip(refusals, results[host]):
                with self.subTest(host=host, arguments=arguments):
                    self.assertTrue(result.get('failed'), result)
                    self.assertEqual((result['reason'], result['changed']), (reason, False))
        self.assertEqual(results['site'][-2]['outcome'], 'changed')
        listed = results['site'][-1]  # by default, the ports only: nothing is sent
        self.assertEqual(([p['state'] for p in listed['ports']], listed['dialers']), (['free'], []))
        # The older dialerctl refused --schema in both modules before it sent anything.
        for result in results['old'][-2:]:
            self.assertEqual((result.get('failed'), result['reason'], result['changed']),
                             (True, 'schema', False), result)
            self.assertIn('unknown option --schema', result['msg'])
        self.assertEqual(fleet.dialer('site').commands(), ['?6', SAVE, '?6'])
        self.assertEqual(fleet.dialer('old').commands(), [])

    def test_a_port_another_run_holds_is_waited_for(self):
        # Each host's dialer is held by a run that keeps trying a dialer silent at first.
        fleet = Fleet({'patient': [['--values', STORED, '--silent-first', '6']],
                       'hasty': [['--values', STORED, '--silent-first', '6']]},
                      host_vars={'patient': {'wait_busy': 20}})
        self.addCleanup(fleet.close)
        holders = [subprocess.Popen([DIALERCTL, 'read', '--port', 'COM1', '--retries', '5',
                                     '--port-map', fleet.maps[host]],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                   for host in ('patient', 'hasty')]
        for holder in holders:
            self.addCleanup(holder.wait)
        time.sleep(0.3)
        results = fleet.play([SET_FREE])
        patient, hasty = results['patient'][0], results['hasty'][0]
        self.assertFalse(patient.get('failed'), patient.get('msg'))
        self.assertEqual(patient['outcome'], 'changed')
        self.assertTrue(hasty.get('failed'))
        self.assertEqual((hasty['reason'], hasty['written']), ('busy', False))
        self.assertEqual(fleet.dialer('patient').commands(), ['?6'] * 6 + ['?6', SAVE, '?6'])


class Example(unittest.TestCase):
    """The collection's sample playbook as it ships, on a simulated site PC."""

    def test_a_failed_dialer_is_told_before_the_host_leaves_the_play(self):
        # A pseudo-terminal has no adapter, so its serial number is never the expected one.
        fleet = Fleet({'moved': [['--values', STORED]]}, host_vars={'moved': {
            'dialer_port': '{{ dialer_devices[0] }}', 'dialer_serial': 'A50285BI',
            'dialer_free': '*100#', 'dialer_phones': ['101', '202', '303', '404', '505'],
            'dialer_private': True}})
        self.addCleanup(fleet.close)
        results = fleet.play(None, playbook=os.path.join(
            COLLECTIONS, 'ansible_collections', 'dialerconfig', 'dialer', 'examples',
            'site.yml'))['moved']
        # The check of the values, the settings (hidden by no_log), the rescue's report, its end.
        self.assertEqual([result.get('failed', False) for result in results],
                         [False, True, False, True], results)
        self.assertEqual(results[2]['msg'], 'refused (identity): nothing was written')
        self.assertEqual(results[3]['msg'], 'identity')
        self.assertEqual(fleet.dialer('moved').commands(), [])


if __name__ == '__main__':
    sys.exit(summary(unittest.main(exit=False, verbosity=2).result))
