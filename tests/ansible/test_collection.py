# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""The dialerconfig.dialer collection in playbooks, against simulated dialers on several hosts.

Run as root (one host is reached over SSH as root), after the build:
    python3 tests/ansible/test_collection.py
"""

import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fleet import DIALERCTL, Fleet  # noqa: E402 pylint: disable=wrong-import-position

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
    },
}
INFO = {
    'name': 'what is plugged in',
    'dialerconfig.dialer.dialer_info': {'port_map': '{{ port_map }}',
                                        'dialerctl': '{{ dialerctl }}'},
}


class Provisioning(unittest.TestCase):
    """Check, apply and apply again on site PCs, one of them over SSH."""

    def test_check_then_apply_then_apply_again(self):
        hosts = {name: [['--values', STORED], ['--values', STORED, '--silent']]
                 for name in ('site1', 'site2', 'site3', 'remote')}
        fleet = Fleet(hosts, ssh_hosts=['remote'],
                      host_vars={'site1': {'backup_dir': '/tmp/dialer-backups-test'}})
        self.addCleanup(fleet.close)

        checked = fleet.play([SET_FREE, INFO], check=True, diff=True)
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
        with open(backup, 'rb') as kept:
            self.assertEqual(kept.read(), b'"101","202","303","404","505","*7#"\r\n')
        subprocess.run(['rm', '-rf', '/tmp/dialer-backups-test'], check=False)


class Failures(unittest.TestCase):
    """Each host meets another fault; a failed port fails its task with the reason code."""

    def test_each_fault_fails_the_task_with_its_reason(self):
        #            dialer's behaviour, host's variables, reason, changed, written
        cases = {
            'altered': (['--alter', '6'], {}, 'mismatch', True, True),
            'silent': (['--silent'], {}, 'no-answer', False, False),
            'stranger': ([], {'expect_serial': 'A50285BI'}, 'identity', False, False),
            'cut': (['--ignore-saves'], {'retries': 20, 'task_timeout': 3}, 'interrupted', True,
                    True),
        }
        fleet = Fleet({host: [['--values', STORED] + case[0]] for host, case in cases.items()},
                      host_vars={host: case[1] for host, case in cases.items()})
        self.addCleanup(fleet.close)
        results = fleet.play([SET_FREE], forks=4)
        for host, (_, _, reason, changed, written) in cases.items():
            result = results[host][0]
            with self.subTest(host=host):
                self.assertTrue(result.get('failed'), result)
                self.assertEqual(result['reason'], reason)
                self.assertEqual(result['changed'], changed)
                self.assertEqual(result['written'], written)
                self.assertIn(reason, result['msg'])
                self.assertTrue(any('\u0400' <= c <= '\u04ff' for c in result['message']),
                                result['message'])
        self.assertEqual(fleet.dialer('stranger').commands(), [])  # refused before anything
        self.assertEqual(fleet.dialer('silent').saves(), [])

    def test_a_port_another_run_holds_is_waited_for(self):
        # Each host's dialer is held by a run that keeps trying a dialer silent at first.
        fleet = Fleet({'patient': [['--values', STORED, '--silent-first', '6']],
                       'hasty': [['--values', STORED, '--silent-first', '6']]},
                      host_vars={'patient': {'wait_busy': 30}})
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


if __name__ == '__main__':
    outcome = unittest.main(exit=False, verbosity=2).result
    failed = len(outcome.failures) + len(outcome.errors)
    print('%d passed, %d failed' % (outcome.testsRun - failed, failed))
    sys.exit(1 if failed or outcome.testsRun == 0 else 0)
