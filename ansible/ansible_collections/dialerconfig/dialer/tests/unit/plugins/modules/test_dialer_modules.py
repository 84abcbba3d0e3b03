# -*- coding: utf-8 -*-
# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""Both modules on one table of cases, with every run of dialerctl mocked.

Each case gives the module's arguments, the dialerctl runs it must make (command line, standard
input, and what each run returns) and part of the result. A refusal makes no run at all. Every
result also holds each key the module's RETURN says is returned always.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os
import re
import shutil
import tempfile
import unittest
from unittest import mock

import yaml

from ansible.module_utils import basic
from ansible.module_utils.common.text.converters import to_bytes
from ansible_collections.dialerconfig.dialer.plugins.module_utils.dialerctl import (
    ADAPTER_KEYS, FIELDS, GUARDS, NOT_NULL)
from ansible_collections.dialerconfig.dialer.plugins.modules import dialer_info as INFO
from ansible_collections.dialerconfig.dialer.plugins.modules import dialer_settings as SETTINGS

DIALERCTL = '/usr/bin/dialerctl'
STORED = ['101', '202', '303', '404', '505', '*7#']
WANTED = STORED[:5] + ['*100#']
ADAPTER = dict(serial='A50285BI', vid='0403', pid='6001', by_id=None, description='FT232R',
               manufacturer='FTDI')
HOLDS = 'a file the test makes, that is not executable'


def doc(command, *ports, **error):
    document = dict(schema=2, command=command, ports=list(ports))
    if error:
        document['error'] = error
    return json.dumps(document)


def entry(outcome, sent=False, reason=None, after=None, **more):
    result = dict(port='COM1', device='/dev/ttyUSB0', outcome=outcome, message='Сообщение',
                  reason=reason, before=STORED, after=after or STORED, save_sent=sent,
                  changed=sent, adapter=ADAPTER)
    result.update(more)
    return result


def run(arguments, out='', rc=0, err='', stdin=None, timeout=30):
    """One dialerctl run the case expects: its command line and input, and what it returns."""
    return (['/usr/bin/timeout', '--kill-after=5', str(timeout), DIALERCTL, arguments[0],
             '--schema', '2'] + arguments[1:], stdin, (rc, out, err))


APPLY = ['apply', '--port', 'COM1', '--json']


def set_free(out='', rc=0, options=(), **more):
    """The run of an apply of free=*100#, with dialerctl's `options` before its source."""
    return run(APPLY + list(options) + ['--set', '-'], out, rc, stdin='free=*100#', **more)


READ = ['read', '--port', 'COM1', '--json']
PORTS = run(['ports', '--json'], doc('ports', dict(port='COM1', device='/dev/ttyUSB0',
                                                   state='free', reason=None, group=None,
                                                   adapter=ADAPTER)))
REFUSED = dict(failed=True, changed=False, written=False, outcome='refused')
CUT = dict(failed=True, changed=True, written=True, outcome='interrupted', reason='interrupted')


def refused(name, arguments, reason):
    """A case of dialer_settings refused before dialerctl runs."""
    return name, SETTINGS, arguments, [], dict(REFUSED, reason=reason)


OLD = json.dumps([dict(port='COM1', serialNumber='A1', outcome='read')])  # before schema 2


def other_schema(command, older):
    """How a dialerctl older or newer than the collection refuses --schema 2: exit 2."""
    said = ("Unknown option 'schema'." if older else
            '--schema 2: this dialerctl prints documents of schema 3. Nothing was sent.')
    document = json.loads(doc(command, reason='usage', message=said))
    document['schema'] = 2 if older else 3
    return dict(out=json.dumps(document), rc=2, err='dialerctl: ' + said)


SCHEMA_REFUSED = dict(REFUSED, reason='schema')

CASES = [
    # name, module, arguments, dialerctl's runs, part of the result
    ('one field goes on standard input, a null one keeps the dialer\'s; check mode shows the diff',
     SETTINGS, dict(free='*100#', phone3=None, _ansible_check_mode=True, _ansible_diff=True),
     [run(APPLY + ['--set', '-', '--check'], stdin='free=*100#',
          out=doc('apply', entry('would-change', after=WANTED)))],
     dict(changed=True, written=False, outcome='would-change', reason=None,
          diff=dict(before=dict(zip(FIELDS, STORED)), after=dict(zip(FIELDS, WANTED)),
                    before_header='COM1 (before)', after_header='COM1 (after)'))),
    ('six values go as one line, with every option dialerctl takes, each as given', SETTINGS,
     dict(zip(FIELDS, WANTED), expect_serial='~$HOME', port_map='/etc/p.ini', retries=2,
          wait_busy=1.5, timeout=60, log='/var/log/d.jsonl'),
     [run(['apply', '--port', 'COM1', '--json', '--port-map', '/etc/p.ini', '--retries', '2',
           '--wait-busy', '1.5', '--log', '/var/log/d.jsonl', '--expect-serial', '~$HOME',
           '--values', '-'], doc('apply', entry('changed', True, after=WANTED)),
          stdin='101,202,303,404,505,*100#', timeout=60)],
     dict(changed=True, written=True, outcome='changed', after=dict(zip(FIELDS, WANTED)),
          adapter=ADAPTER)),
    ('no value only reads', SETTINGS, {},
     [run(READ, doc('read', entry('read', values=STORED)))],
     dict(changed=False, outcome='unchanged', before=dict(zip(FIELDS, STORED)))),
    ('src restores a file, keeping a backup first', SETTINGS,
     dict(src='/b/Velkor.ini', backup_dir='/b'),
     [run(APPLY + ['--from', '/b/Velkor.ini', '--backup', mock.ANY],
          doc('apply', entry('changed', True, backup='/b/COM1-1/Velkor.ini')))],
     dict(changed=True, backup_file='/b/COM1-1/Velkor.ini')),
    # Refused before dialerctl runs.
    refused('an unquoted YAML number', dict(phone1=79001234567), 'input'),
    refused('an unquoted octal number', dict(phone2=83), 'input'),
    refused('yes unquoted', dict(phone3=True), 'input'),
    refused('a serial number unquoted', dict(expect_serial=12345), 'input'),
    refused('a line break in a value', dict(free='*1\n#'), 'input'),
    refused('a blank serial number', dict(expect_serial=' '), 'usage'),
    refused('every port', dict(port=' All '), 'usage'),
    refused('no port', dict(port=''), 'usage'),
    refused('src with a field', dict(src='/b/Velkor.ini', free='1'), 'usage'),
    refused('no deadline', dict(timeout=0), 'usage'),
    refused('fewer than no retries', dict(retries=-1), 'usage'),
    refused('a negative wait', dict(wait_busy=-1), 'usage'),
    refused('a wait as long as the deadline', dict(wait_busy=30), 'usage'),
    refused('a wait of no number', dict(wait_busy='nan'), 'usage'),
    refused('dialerctl missing', dict(dialerctl='/nonexistent/dialerctl'), 'program'),
    refused('dialerctl not executable', dict(dialerctl=HOLDS), 'program'),
    refused('dialerctl not on PATH', dict(_no_dialerctl=True), 'program'),
    # dialerctl ran.
    ('dialerctl refuses the run', SETTINGS, dict(free='*1,0#'),
     [run(APPLY + ['--set', '-'], doc('apply', reason='input', message='comma'), 2,
          stdin='free=*1,0#')],
     dict(REFUSED, reason='input', msg='comma (input)')),
    ('no port opens', SETTINGS, {},
     [run(READ, doc('read', reason='no-port', message='none'), rc=1)],
     dict(REFUSED, outcome='port-error', reason='no-port')),
    ('a mismatch after a save', SETTINGS, dict(free='*100#'),
     [set_free(doc('apply', entry('mismatch', True, 'mismatch')), 1)],
     dict(failed=True, changed=True, written=True, outcome='mismatch', reason='mismatch')),
    ('another adapter', SETTINGS, dict(free='*100#', expect_serial='B1'),
     [set_free(doc('apply', entry('refused', reason='identity')), 1, ['--expect-serial', 'B1'])],
     dict(failed=True, changed=False, outcome='refused', reason='identity')),
    ('the deadline during a save', SETTINGS, dict(free='*100#'),
     [set_free(doc('apply', entry('interrupted', True, 'interrupted')), 124)], CUT),
    ('the deadline as it ended, the dialer set', SETTINGS, dict(free='*100#'),
     [set_free(doc('apply', entry('changed', True, after=WANTED)), 124)],
     dict(CUT, outcome='changed', after=dict(zip(FIELDS, WANTED)))),
    ('killed at the deadline with nothing printed', SETTINGS, dict(free='*100#'),
     [set_free(rc=137)], CUT),
    ('killed halfway through the document', SETTINGS, dict(free='*100#'),
     [set_free('{"schema": 2, "comm', rc=-9)], CUT),
    ('killed while it only checked', SETTINGS, dict(free='*100#', _ansible_check_mode=True),
     [run(APPLY + ['--set', '-', '--check'], rc=137, stdin='free=*100#')],
     dict(CUT, changed=False, written=False)),
    ('a crash after the apply began', SETTINGS, dict(free='*100#'),
     [set_free(rc=139)], dict(failed=True, changed=True, outcome='failed', reason='program')),
    ('dialerctl cannot start', SETTINGS, {}, [run(READ, rc=126)], dict(REFUSED, reason='program')),
    ('an older dialerctl refuses --schema', SETTINGS, {},
     [run(READ, **other_schema('read', older=True))],
     dict(SCHEMA_REFUSED, msg='older than this collection: its usage error names the unknown '
                              'option --schema (dialerctl: Unknown option \'schema\'.)')),
    ('an older dialerctl refuses --schema, apply', SETTINGS, dict(free='*100#'),
     [set_free(**other_schema('apply', older=True))], SCHEMA_REFUSED),
    ('a newer dialerctl refuses --schema, apply', SETTINGS, dict(free='*100#'),
     [set_free(**other_schema('apply', older=False))],
     dict(SCHEMA_REFUSED, msg='newer than this collection: it prints documents of schema 3')),
    ('a program that takes --schema and prints a bare array', SETTINGS, dict(free='*100#'),
     [set_free(OLD)], dict(failed=True, changed=True, outcome='failed', reason='schema')),
    ('a document without schema, refused', SETTINGS, {}, [run(READ, '{"ports": []}', rc=2)],
     dict(failed=True, changed=False, reason='schema')),
    ('ports that are not objects', SETTINGS, {},
     [run(READ, '{"schema": 2, "command": "read", "ports": ["COM1"]}')],
     dict(failed=True, reason='schema')),
    ('the document of another command', SETTINGS, {}, [run(READ, doc('apply'))],
     dict(failed=True, reason='schema')),
    ('two ports where one was named', SETTINGS, dict(free='*100#'),
     [set_free(doc('apply', entry('changed', True), entry('unchanged')))],
     dict(failed=True, changed=True, written=True, outcome='failed', reason='usage')),
    ('set, but the log failed', SETTINGS, dict(free='*100#', log='/full/d.jsonl'),
     [set_free(doc('apply', entry('changed', True, after=WANTED)), 1, ['--log', '/full/d.jsonl'],
               err='dialerctl: --log /full/d.jsonl: no space')],
     dict(failed=True, changed=True, outcome='changed', reason='log')),
    # dialer_info
    ('ports and dialers, each in its one spelling', INFO, dict(ports=['COM1'], log='/l'),
     [PORTS, run(['read', '--json', '--port', 'COM1', '--log', '/l'],
                 doc('read', entry('read', values=STORED)))],
     dict(changed=False, ports=json.loads(PORTS[2][1])['ports'],
          dialers=[dict(port='COM1', device='/dev/ttyUSB0', outcome='read', reason=None,
                        message='Сообщение', values=dict(zip(FIELDS, STORED)),
                        adapter=ADAPTER)])),
    ('by default the ports are listed and none is read', INFO, {}, [PORTS],
     dict(failed=False, ports=json.loads(PORTS[2][1])['ports'], dialers=[])),
    ('all of them, none opens', INFO, dict(ports=['all']),
     [PORTS, run(['read', '--json', '--port', 'all'],
                 doc('read', reason='no-port', message='none'), rc=1)],
     dict(failed=False, dialers=[])),
    ('an older dialerctl\'s ports', INFO, {},
     [run(['ports', '--json'], **other_schema('ports', older=True))],
     dict(failed=True, reason='schema', msg='unknown option --schema', ports=[], dialers=[])),
    ('a read cut at the deadline', INFO, dict(ports=['COM1'], timeout=5),
     [run(['ports', '--json'], PORTS[2][1], timeout=5),
      run(['read', '--json', '--port', 'COM1'], rc=137, timeout=5)],
     dict(failed=True, changed=False, reason='interrupted')),
    ('a read whose log failed', INFO, dict(ports=['COM1'], log='/l'),
     [PORTS, run(['read', '--json', '--port', 'COM1', '--log', '/l'], doc('read', entry('read')),
                 rc=1, err='log')],
     dict(failed=True, reason='log')),
    ('a port dialerctl refuses', INFO, dict(ports=['']),
     [PORTS, run(['read', '--json', '--port', ''], doc('read', reason='usage', message='u'), 2)],
     dict(failed=True, reason='usage')),
    ('no deadline for the list', INFO, dict(timeout=-1), [], dict(failed=True, reason='usage')),
    ('a null among the ports', INFO, dict(ports=['COM1', None]), [],
     dict(failed=True, reason='usage', msg='ports holds a null')),
] + [refused('%s empty' % name, {name: ''}, 'usage') for name in GUARDS] + [
    # A null, as a template of a null variable gives it, is no option left out.
    (name + ' null', module, {name: None}, [],
     dict(failed=True, changed=False, reason='usage', msg=name + ' is null'))
    for module, names in ((SETTINGS, sorted(set(NOT_NULL) - {'ports'})),
                          (INFO, ('ports', 'dialerctl', 'timeout')))
    for name in names]


class Exited(Exception):
    """What the module returned, through exit_json or fail_json."""


def exit_json(_module, **result):
    raise Exited(dict(result, failed=False))


def fail_json(_module, **result):
    raise Exited(dict(result, failed=True))


def returned_always(module):
    documented = yaml.safe_load(module.RETURN)
    return [key for key, what in documented.items() if what['returned'] == 'always']


class ModuleTable(unittest.TestCase):
    """Each case of the table, on its module."""

    def setUp(self):
        work = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, work)
        self.holds = os.path.join(work, 'dialerctl')
        with open(self.holds, 'w', encoding='utf-8') as program:
            program.write('#!/bin/sh\n')

    def play(self, module, arguments, runs):
        """The module's result, and the runs it made that the case did not expect."""
        expected = list(runs)
        unexpected = []
        arguments = dict(arguments)
        no_dialerctl = arguments.pop('_no_dialerctl', False)
        if arguments.get('dialerctl') == HOLDS:
            arguments['dialerctl'] = self.holds

        def run_command(_module, command, data=None, expand_user_and_vars=True, **_kwargs):
            if expected and expected[0][:2] == (command, data) and not expand_user_and_vars:
                return expected.pop(0)[2]
            unexpected.append((command, data))
            return 1, '', 'not expected'

        def get_bin_path(_module, name, *_args, **_kwargs):
            return {'timeout': '/usr/bin/timeout',
                    'dialerctl': None if no_dialerctl else DIALERCTL}.get(name)

        args = dict(arguments, _ansible_remote_tmp='/tmp', _ansible_keep_remote_files=False)
        with mock.patch.object(basic, '_ANSIBLE_ARGS',
                               to_bytes(json.dumps({'ANSIBLE_MODULE_ARGS': args}))), \
                mock.patch.multiple(basic.AnsibleModule, run_command=run_command,
                                    get_bin_path=get_bin_path, exit_json=exit_json,
                                    fail_json=fail_json), \
                self.assertRaises(Exited) as ended:
            module.main()
        return ended.exception.args[0], unexpected + expected

    def check(self, module, arguments, runs, wanted):
        if module is SETTINGS:
            arguments = dict(dict(port='COM1'), **arguments)
        result, strays = self.play(module, arguments, runs)
        self.assertEqual(strays, [], 'dialerctl runs not as expected')
        for key, value in wanted.items():
            if key == 'msg':
                self.assertIn(value, result['msg'])
            else:
                self.assertEqual(result.get(key), value, key)
        missing = set(returned_always(module)) - set(result)
        self.assertEqual(missing, set(), 'keys returned always')
        for adapter in [result.get('adapter')] + [
                found['adapter'] for found in result.get('dialers', [])]:
            if adapter is not None:
                self.assertEqual(sorted(adapter), sorted(ADAPTER_KEYS))
        if result['failed']:
            self.assertTrue(result['msg'] and result['reason'], result)


# One test a case, named after it.
for number, (title, *case) in enumerate(CASES):
    setattr(ModuleTable, 'test_%02d_%s' % (number, re.sub(r'\W+', '_', title).strip('_')),
            lambda self, case=tuple(case): self.check(*case))


if __name__ == '__main__':
    unittest.main()
