#!/usr/bin/python
# -*- coding: utf-8 -*-
# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: dialer_settings
short_description: Set the values a GSM dialer keeps
version_added: "2.0.0"
description:
  - Reads the six values a GSM dialer on a serial port keeps (five telephone numbers and the
    free SMS service code), compares them with the wanted ones and, only where they differ,
    writes them, reads them back and verifies them.
  - Runs C(dialerctl apply --json) on the managed host, with the values on its standard input
    so that they do not show in the process list. The port stays held from the first read to
    the last read back.
  - An omitted field keeps the value the dialer holds; an empty string empties it.
  - A failed port fails the task with the Russian message of dialer-config and a reason code that
    does not depend on the language.
requirements:
  - dialerctl 2.0.0 or later on the managed host (the dialer-config package).
  - The C(timeout) program of coreutils on the managed host.
options:
  port:
    description:
      - The dialer's port. A C(/dev/serial/by-id/...) path is recommended, since it names the
        adapter whichever order the adapters were plugged in; C(COM1) to C(COM9) are numbered as
        the window numbers them, through C(port_map) when given.
    type: str
    required: true
  phone1:
    description: The first telephone number. Omitted, the dialer keeps its own.
    type: str
  phone2:
    description: The second telephone number. Omitted, the dialer keeps its own.
    type: str
  phone3:
    description: The third telephone number. Omitted, the dialer keeps its own.
    type: str
  phone4:
    description: The fourth telephone number. Omitted, the dialer keeps its own.
    type: str
  phone5:
    description: The fifth telephone number. Omitted, the dialer keeps its own.
    type: str
  free:
    description: The free SMS service code, such as C(*100#). Omitted, the dialer keeps its own.
    type: str
  expect_serial:
    description:
      - The serial number the port's USB adapter must have. Nothing is written to a port whose
        adapter has another serial number, or none the system knows; the task fails with reason
        C(identity).
    type: str
  port_map:
    description:
      - A port map file (C([ports]) with lines such as C(COM1=/dev/ttyUSB0)) that numbers the
        ports, instead of the map of the user the task runs as (under C(become), root's).
    type: path
  retries:
    description: How many more times an exchange without an answer, or with a reply not
      understood, is tried.
    type: int
    default: 0
  wait_busy:
    description: How many seconds to wait for a port another program holds before failing with
      reason C(busy).
    type: float
    default: 0
  timeout:
    description:
      - The task's own deadline in seconds. When it passes, C(dialerctl) is interrupted; if a save
        had gone out by then, the task fails with C(changed) true and reason C(interrupted).
    type: int
    default: 30
  dialerctl:
    description: The path of C(dialerctl) on the managed host; found on C(PATH) when not given.
    type: path
  backup_dir:
    description:
      - A folder where the values read before a change are kept, as a C(Velkor.ini) that the
        dialer-config window loads, in a folder of its own named after the port and the time.
        When the copy cannot be made, nothing is written to the dialer.
    type: path
attributes:
  check_mode:
    description: Reads the dialer and tells whether a write would change it; writes nothing.
    support: full
  diff_mode:
    description: Shows the six values before and after (in check mode, as they would be).
    support: full
notes:
  - The values travel on the dialer's line in windows-1251. A value holding a comma, a line
    break or a character windows-1251 lacks is refused before anything is sent.
seealso:
  - module: dialerconfig.dialer.dialer_info
author:
  - dialer-config developers
'''

EXAMPLES = r'''
- name: Set the free SMS code, keeping each site's own telephone numbers
  dialerconfig.dialer.dialer_settings:
    port: /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
    free: '*100#'
    expect_serial: A50285BI
    backup_dir: /var/backups/dialer

- name: Set all six values on the first port of a bench with a map of its own
  dialerconfig.dialer.dialer_settings:
    port: COM1
    port_map: /etc/dialer-config/ports.ini
    phone1: '+79001234567'
    phone2: '+79007654321'
    phone3: ''
    phone4: ''
    phone5: ''
    free: '*100#'
    retries: 2
    wait_busy: 30
'''

RETURN = r'''
changed:
  description: True whenever a save went out to the dialer, even when the task then failed; in
    check mode, true when a write would change the dialer.
  type: bool
  returned: always
outcome:
  description: C(unchanged), C(changed), C(would-change) (check mode), or a failure such as
    C(mismatch), C(no-answer), C(check-fields), C(port-error), C(refused) or C(interrupted).
  type: str
  returned: always
  sample: changed
reason:
  description: For a failure, why, in words that do not depend on the language; null otherwise.
    One of C(no-answer), C(check-fields), C(mismatch), C(busy), C(denied), C(missing), C(lost),
    C(timeout), C(partial), C(io), C(interrupted), C(identity), C(backup), or for a run refused
    as a whole
    C(usage), C(input) and C(no-port).
  type: str
  returned: always
  sample: mismatch
message:
  description: The message dialer-config shows for the outcome, in Russian.
  type: str
  returned: always
  sample: Успешно считано
port:
  description: The port as given.
  type: str
  returned: always
device:
  description: The device path used.
  type: str
  returned: always
  sample: /dev/ttyUSB0
adapter:
  description: What the system knows of the port's USB adapter; each key null where unknown.
  type: dict
  returned: always
  contains:
    serial:
      description: The adapter's serial number.
      type: str
    vid:
      description: The USB vendor ID, four hex digits.
      type: str
    pid:
      description: The USB product ID, four hex digits.
      type: str
    by_id:
      description: The /dev/serial/by-id link that leads to the device.
      type: str
written:
  description: True once a save went out, also when its verdict then failed.
  type: bool
  returned: always
before:
  description: The six values the dialer held, by field name; null where they were not read.
  type: dict
  returned: always
  sample: {"phone1": "101", "phone2": "202", "phone3": "303", "phone4": "404", "phone5": "505",
           "free": "*7#"}
after:
  description: The six values the dialer holds now as read back (in check mode, would hold);
    null where that is not known.
  type: dict
  returned: always
backup_file:
  description: The C(Velkor.ini) holding the values before the change.
  type: str
  returned: when C(backup_dir) was given and a change was written
'''

import os
import re
import time

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.dialerconfig.dialer.plugins.module_utils.dialerctl import (
    COMMON_ARGS, FIELDS, common_arguments, named, run, whole_run_error)

SUCCEEDED = ('unchanged', 'changed', 'would-change')


def wanted_input(params):
    """dialerctl's option for the wanted values and what goes to its standard input."""
    given = [(field, params[field]) for field in FIELDS if params[field] is not None]
    if len(given) == len(FIELDS):
        return ['--values', '-'], ','.join(value for _, value in given)
    return ['--set', '-'], '\n'.join('%s=%s' % pair for pair in given)


def backup_path(params):
    folder = '%s-%s' % (re.sub(r'[^A-Za-z0-9._-]+', '_', params['port']).strip('_'),
                        time.strftime('%Y%m%dT%H%M%S'))
    return os.path.join(params['backup_dir'], folder, 'Velkor.ini')


def main():
    argument_spec = dict(
        port=dict(type='str', required=True),
        expect_serial=dict(type='str'),
        backup_dir=dict(type='path'),
        **COMMON_ARGS
    )
    for field in FIELDS:
        argument_spec[field] = dict(type='str')
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)
    params = module.params

    # One line a field on standard input: a line break inside a value would start another.
    for field in FIELDS:
        if params[field] is not None and ('\n' in params[field] or '\r' in params[field]):
            module.fail_json(msg='%s holds a line break, which ends the dialer\'s command; '
                                 'nothing was sent' % field, reason='input', changed=False)

    arguments = ['--port', params['port'], '--json'] + common_arguments(params)
    if params['expect_serial']:
        arguments += ['--expect-serial', params['expect_serial']]
    data = None
    if any(params[field] is not None for field in FIELDS):
        source, data = wanted_input(params)
        arguments = ['apply'] + arguments + source
        if module.check_mode:
            arguments.append('--check')
        elif params['backup_dir']:
            arguments += ['--backup', backup_path(params)]
    else:
        # Nothing wanted: what the dialer holds is what it should.
        arguments = ['read'] + arguments

    rc, document, err, timed_out = run(module, arguments, data)
    failed_whole = whole_run_error(document, err)
    if failed_whole:
        reason, message = failed_whole
        module.fail_json(msg='%s (%s)' % (message, reason), reason=reason, message=message,
                         changed=False, written=False, rc=rc)
    ports = document.get('ports', [])
    if len(ports) != 1:
        module.fail_json(msg='dialerctl reported %d ports for %s; give one port'
                             % (len(ports), params['port']), changed=False, rc=rc)
    result = ports[0]
    outcome = 'unchanged' if result['outcome'] == 'read' else result['outcome']
    written = bool(result.get('save_sent'))
    before = named(result.get('before'))
    after = named(result.get('after'))
    answer = dict(
        changed=written or outcome == 'would-change',
        outcome=outcome,
        reason=result.get('reason'),
        message=result.get('message'),
        port=result.get('port'),
        device=result.get('device'),
        adapter=result.get('adapter'),
        written=written,
        before=before,
        after=after,
    )
    if result.get('backup'):
        answer['backup_file'] = result['backup']
    if module._diff:
        answer['diff'] = dict(before=before or {}, after=after or {},
                              before_header='%s (before)' % params['port'],
                              after_header='%s (after)' % params['port'])
    if outcome not in SUCCEEDED or rc not in (0,):
        reason = answer['reason'] or ('interrupted' if timed_out else 'unknown')
        answer['reason'] = reason
        if timed_out:
            answer['msg'] = 'dialerctl did not finish within %d s: %s (%s)' % (
                params['timeout'], answer['message'], reason)
        else:
            answer['msg'] = '%s (%s)' % (answer['message'], reason)
        module.fail_json(**answer)
    module.exit_json(**answer)


if __name__ == '__main__':
    main()
