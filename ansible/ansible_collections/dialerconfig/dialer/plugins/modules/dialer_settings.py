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
  - Every run of C(dialerctl) asks for the documents of schema 2 (C(--schema 2)), so that a
    C(dialerctl) older or newer than this collection refuses it before sending anything.
  - An omitted field keeps the value the dialer holds; an empty string empties it. With none of
    the six fields and no I(src), the task only reads the dialer.
  - Every option is carried out exactly or refused before anything is sent to the dialer. A
    refusal names the option and what to write instead. The one change a value meets is the
    window's own; it loses its leading blanks (see the notes).
  - A failed port fails the task with the Russian message of dialer-config and a reason code that
    does not depend on the language.
requirements:
  - dialerctl 2.0.0 or later on the managed host (the dialer-config package), of the version
    that takes C(--schema) and prints documents of schema 2.
  - The C(timeout) program of coreutils on the managed host.
options:
  port:
    description:
      - The dialer's port. A C(/dev/serial/by-id/...) path is recommended, since it names the
        adapter whichever order the adapters were plugged in; C(COM1) to C(COM9) are numbered as
        the window numbers them, through I(port_map) when given.
      - One port a task. C(all), in any case, is refused, and so is a port that dialerctl takes
        for several.
    type: str
    required: true
  phone1:
    description:
      - The first telephone number, such as C(+79001234567) in quotes. Omitted, the dialer
        keeps its own.
      - Only a string is taken. Unquoted, YAML reads C(+79001234567) as the number 79001234567
        and C(0123) as the octal number 83, and the written form is lost, so anything but a
        string is refused. See the notes for values that come through templates.
    type: raw
  phone2:
    description: The second telephone number, a quoted string like I(phone1).
    type: raw
  phone3:
    description: The third telephone number, a quoted string like I(phone1).
    type: raw
  phone4:
    description: The fourth telephone number, a quoted string like I(phone1).
    type: raw
  phone5:
    description: The fifth telephone number, a quoted string like I(phone1).
    type: raw
  free:
    description: The free SMS service code, such as C(*100#) in quotes. Omitted, the dialer
      keeps its own.
    type: raw
  src:
    description:
      - A settings file on the managed host whose six values are written, in the form the
        window's Exit writes C(Velkor.ini) (such as a backup that I(backup_dir) kept), through
        C(dialerctl apply --from). A file in another form, or that cannot be read, is refused
        before anything is sent.
      - Excludes I(phone1) to I(free). An empty or null value is refused.
    type: path
  expect_serial:
    description:
      - The serial number the port's USB adapter must have, as a quoted string. Nothing is
        written to a port whose adapter has another serial number, or none the system knows;
        the task fails with reason C(identity).
      - An empty or null value is refused, never ignored, so a template that rendered nothing, or
        a variable that is null, does not switch the check off.
    type: raw
  port_map:
    description:
      - A port map file (C([ports]) with lines such as C(COM1=/dev/ttyUSB0)) that numbers the
        ports, instead of the map of the user the task runs as (under C(become), root's). An
        empty or null value is refused.
    type: path
  retries:
    description: How many more times an exchange without an answer, or with a reply not
      understood, is tried; 0 or more.
    type: int
    default: 0
  wait_busy:
    description: How many seconds to wait for a port another program holds before failing with
      reason C(busy); 0 or more, and shorter than I(timeout).
    type: float
    default: 0
  timeout:
    description:
      - The task's own deadline in seconds, above 0. When it passes, C(dialerctl) is interrupted;
        if a save had gone out by then, or may have, the task fails with C(changed) true and
        reason C(interrupted).
      - C(dialerctl) is sent SIGTERM at the deadline and killed 5 s later if it has not ended
        (C(timeout --kill-after=5)), so a run never lasts longer than I(timeout) + 5 s.
      - Use this rather than the task keyword C(timeout) or C(async), which end the task without
        C(dialerctl)'s account of what went out.
    type: int
    default: 30
  dialerctl:
    description: The path of C(dialerctl) on the managed host; found on C(PATH) when not given.
      An empty or null value is refused.
    type: path
  backup_dir:
    description:
      - A folder where the values read before a change are kept, as a C(Velkor.ini) that the
        dialer-config window loads and I(src) restores, in a folder of its own named after the
        port and the time. When the copy cannot be made, nothing is written to the dialer. An
        empty or null value is refused.
      - The copy holds telephone numbers, so it is readable and writable by the user the task
        runs as alone (mode 0600; under C(become), root).
    type: path
  log:
    description:
      - A file on the managed host to which C(dialerctl --log) appends one JSON line for each
        command sent (the time, the port, the adapter's serial number, the outcome, the values
        read and written), an audit trail of every site PC. When a line cannot be written, the
        task fails with reason C(log), also when the dialer was set. An empty or null value is
        refused.
      - A log that C(dialerctl) creates is readable and writable by the user the task runs as
        alone (mode 0600); a file already there keeps its rights.
    type: path
attributes:
  platform:
    description: Site PCs with a POSIX system (Linux), where C(dialerctl) runs under coreutils'
      C(timeout). Windows site PCs are not managed by this collection.
    support: full
    platforms: posix
  check_mode:
    description: Reads the dialer and tells whether a write would change it; writes nothing.
    support: full
  diff_mode:
    description: Shows the six values before and after (in check mode, as they would be).
    support: full
notes:
  - An option given as null (a template of a variable that is null, or a key with nothing after
    it) is refused with reason C(usage), naming it, as Ansible would otherwise take it for one
    left out and drop a guard or its default. Only I(phone1) to I(free) take null, which keeps
    the dialer's value.
  - The values travel on the dialer's line in windows-1251. A value holding a comma, a line
    break or a character windows-1251 lacks is refused before anything is sent.
  - A value loses its leading blanks, as the dialer-config window's fields drop them while the
    user types; C(' 111 ') is written, and read back, as C('111 '), and a second run finds it
    unchanged. Blanks after a value stay. I(src) is written as the file holds it.
  - Through a template, a variable alone (C("{{ site_phone }}")) keeps its type, so an unquoted
    number in it is refused too. Any other expression (C("{{ phones[0] }}"),
    C("{{ site.phone }}"), a filter) renders as text, and a number whose written form YAML has
    lost reaches the module as that text (unless C(jinja2_native) is on). Quote such values where
    they are defined, and check them before the task with C(ansible.builtin.assert) and the
    C(string) test, as the collection's C(examples/site.yml) does.
  - The values show in the task's result (I(phone1) to I(free) under C(invocation) at C(-vvv),
    I(before), I(after) and the diff), in a C(backup_dir) copy and in the I(log). Use C(no_log)
    on the task where they must stay private.
  - Ansible's module code also logs every option it is given, I(phone1) to I(free) and
    I(expect_serial) among them, to the system log of the managed host (syslog or the journal,
    "Invoked with ..."), so the numbers stay in each site PC's journal. Task-level C(no_log)
    suppresses that line, and so does C(no_target_syslog) (the variable
    C(ansible_no_target_syslog), or C(no_target_syslog) in C(ansible.cfg)), which leaves the
    results as they are. The six options are not marked C(no_log) themselves, since that would
    also mask those strings in I(before), I(after) and the diff.
  - When Ansible itself refuses the arguments (an unknown option, no I(port), a number that is
    not a number), the task fails before the module runs, without the return values below.
  - A run that ends as its deadline passes (status 124 of C(timeout)) fails with reason
    C(interrupted), even when C(dialerctl) printed a complete document; I(outcome), I(written)
    and C(changed) are then as it reported them, so a dialer that was set shows C(changed) and
    its I(after).
seealso:
  - module: dialerconfig.dialer.dialer_info
author:
  - dialer-config developers (!UNKNOWN)
'''

EXAMPLES = r'''
- name: Set the free SMS code, keeping each site's own telephone numbers
  dialerconfig.dialer.dialer_settings:
    port: /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
    free: '*100#'
    expect_serial: 'A50285BI'
    backup_dir: /var/backups/dialer
    log: /var/log/dialer-config/audit.jsonl
  register: set_free

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
    wait_busy: 20
    timeout: 60

- name: Put back the values the first task kept
  dialerconfig.dialer.dialer_settings:
    port: /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
    src: "{{ set_free.backup_file }}"
    expect_serial: 'A50285BI'
  when: set_free.backup_file is defined
'''

RETURN = r'''
changed:
  description: True whenever a save went out to the dialer, or may have (a run cut off before it
    reported), even when the task then failed; in check mode, true when a write would change the
    dialer.
  type: bool
  returned: always
outcome:
  description:
    - C(unchanged), C(changed) or C(would-change) (check mode) on success.
    - For a failed port, dialerctl's outcome C(mismatch), C(no-answer), C(check-fields),
      C(port-error), C(refused) or C(interrupted).
    - C(refused) also when the task was refused as a whole before anything was sent,
      C(interrupted) when the deadline ended C(dialerctl) before it reported, and C(failed) when
      it ended without a document this collection reads, or took several ports.
  type: str
  returned: always
  sample: changed
reason:
  description:
    - For a failure, why, in words that do not depend on the language; null on success.
    - For the port, dialerctl's reason C(no-answer), C(check-fields), C(mismatch), C(busy),
      C(denied), C(missing), C(lost), C(timeout), C(partial), C(io), C(interrupted), C(identity)
      or C(backup).
    - For a run refused as a whole, nothing sent, C(usage) (an option that cannot be carried
      out, such as an empty or null I(expect_serial), or I(port) C(all)), C(input) (a value that
      is not a string, holds a line break, or that the dialer cannot carry; an I(src) file that
      cannot be read) or C(no-port) (no port opens).
    - C(program) when C(dialerctl) or C(timeout) is missing or not executable, or C(dialerctl)
      ended without printing anything; C(schema) when C(dialerctl) is older or newer than this
      collection (it refused C(--schema 2) and sent nothing; I(msg) says which) or printed
      something other than a document of schema 2; C(interrupted) when the deadline passed;
      C(log) when a line of the I(log) could not be written.
  type: str
  returned: always
  sample: mismatch
message:
  description: The message dialer-config shows for the port's outcome, in Russian; null where
    dialerctl reported no port.
  type: str
  returned: always
  sample: Успешно считано
port:
  description: The port as given.
  type: str
  returned: always
device:
  description: The device path used; null where dialerctl reported no port.
  type: str
  returned: always
  sample: /dev/ttyUSB0
adapter:
  description: What the system knows of the port's USB adapter. Every key is present, null where
    it is not known (a pseudo-terminal, a built-in UART, or no port reported).
  type: dict
  returned: always
  contains:
    serial:
      description: The adapter's serial number, as I(expect_serial) compares it.
      type: str
      sample: A50285BI
    vid:
      description: The USB vendor ID, four hex digits.
      type: str
      sample: '0403'
    pid:
      description: The USB product ID, four hex digits.
      type: str
      sample: '6001'
    by_id:
      description: The C(/dev/serial/by-id) link that leads to the device.
      type: str
    description:
      description: The adapter's product name as the system gives it.
      type: str
      sample: FT232R USB UART
    manufacturer:
      description: The adapter's maker as the system gives it.
      type: str
      sample: FTDI
written:
  description: True once a save went out, also when its verdict then failed, or when it may
    have (a run cut off before it reported).
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
  returned: when I(backup_dir) was given and the values were kept before a write
'''

import os
import re
import time

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.dialerconfig.dialer.plugins.module_utils.dialerctl import (
    COMMON_ARGS, FIELDS, SIGNALLED, Failure, adapter_of, check_given, check_options, check_text,
    common_arguments, named, refuse, run, whole_run_failure)

SUCCEEDED = ('unchanged', 'changed', 'would-change')


def wanted_input(params, given):
    """dialerctl's option for the wanted values and what goes to its standard input."""
    if len(given) == len(FIELDS):
        return ['--values', '-'], ','.join(params[field] for field in given)
    return ['--set', '-'], '\n'.join('%s=%s' % (field, params[field]) for field in given)


def backup_path(params):
    folder = '%s-%s' % (re.sub(r'[^A-Za-z0-9._-]+', '_', params['port']).strip('_'),
                        time.strftime('%Y%m%dT%H%M%S'))
    return os.path.join(params['backup_dir'], folder, 'Velkor.ini')


def plan(params, check_mode):
    """dialerctl's command line, its standard input and whether it may write; or a Failure."""
    check_given(keeps_null=FIELDS)
    check_text(params, FIELDS + ('expect_serial',))
    check_options(params)
    port = params['port']
    if not port.strip():
        refuse('port', 'is empty', "the dialer's port, such as a /dev/serial/by-id/ path")
    if port.strip().lower() == 'all':
        refuse('port', 'is %r, which names every port' % port,
               'one port a task, such as /dev/serial/by-id/... or COM1 (loop over the ports '
               'dialer_info finds for more)')
    given = [field for field in FIELDS if params[field] is not None]
    if params['src'] is not None and given:
        refuse('src', 'is given with %s' % ', '.join(given), 'either src or the fields')
    # One line a field on standard input: a line break inside a value would start another.
    for field in given:
        if '\n' in params[field] or '\r' in params[field]:
            raise Failure('input', '%s holds a line break, which ends the dialer\'s command; '
                                   'nothing was sent.' % field)

    arguments = ['--port', port, '--json'] + common_arguments(params, 'apply')
    if params['expect_serial'] is not None:
        arguments += ['--expect-serial', params['expect_serial']]
    if not given and params['src'] is None:
        # Nothing wanted: what the dialer holds is what it should.
        return ['read'] + arguments, None, False
    data = None
    if given:
        source, data = wanted_input(params, given)
    else:
        source = ['--from', params['src']]
    arguments = ['apply'] + arguments + source
    if check_mode:
        arguments.append('--check')
    elif params['backup_dir'] is not None:
        arguments += ['--backup', backup_path(params)]
    return arguments, data, not check_mode


def report(module, answer, document, rc, err, killed):
    """Exits with the port's result, or fails with it."""
    ports = document['ports']
    sent = [str(entry.get('port')) for entry in ports if entry.get('save_sent')]
    if len(ports) != 1:
        raise Failure('usage', 'dialerctl took %d ports for %s%s: a task sets one dialer, so name '
                               'one port.' % (len(ports), module.params['port'],
                                              ', and saves went out to ' + ', '.join(sent)
                                              if sent else ''),
                      outcome='failed', changed=bool(sent))
    result = ports[0]
    outcome = 'unchanged' if result['outcome'] == 'read' else result['outcome']
    before = named(result.get('before'))
    after = named(result.get('after'))
    answer.update(changed=bool(sent) or outcome == 'would-change', outcome=outcome,
                  reason=result.get('reason'), message=result.get('message'),
                  device=result.get('device'), adapter=adapter_of(result), written=bool(sent),
                  before=before, after=after)
    if result.get('backup'):
        answer['backup_file'] = result['backup']
    if module._diff:
        answer['diff'] = dict(before=before or {}, after=after or {},
                              before_header='%s (before)' % module.params['port'],
                              after_header='%s (after)' % module.params['port'])
    if outcome in SUCCEEDED and rc == 0:
        module.exit_json(**answer)
    if not answer['reason']:
        if killed or rc in SIGNALLED:
            answer['reason'] = 'interrupted'
        elif rc == 1:
            answer['reason'] = 'log'  # the only failure dialerctl reports beside the ports'
        else:
            answer['reason'] = 'program'
    answer['msg'] = '%s (%s)' % (answer['message'], answer['reason'])
    if killed:
        answer['msg'] = 'dialerctl did not finish within %d s: %s' % (
            module.params['timeout'], answer['msg'])
    if err:
        answer['msg'] += ' ' + err
    module.fail_json(**answer)


def main():
    argument_spec = dict(
        port=dict(type='str', required=True),
        src=dict(type='path'),
        expect_serial=dict(type='raw'),
        backup_dir=dict(type='path'),
        **COMMON_ARGS
    )
    for field in FIELDS:
        argument_spec[field] = dict(type='raw')
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)
    # Every key the documentation promises, as it stands until dialerctl tells of the port.
    answer = dict(changed=False, outcome='refused', reason=None, message=None,
                  port=module.params['port'], device=None, adapter=adapter_of(None),
                  written=False, before=None, after=None)
    try:
        arguments, data, writing = plan(module.params, module.check_mode)
        rc, document, err, killed = run(module, arguments, data, writing)
        failure = whole_run_failure(document)
        if failure:
            raise failure
        report(module, answer, document, rc, err, killed)
    except Failure as failure:
        answer.update(changed=failure.changed, written=failure.changed, outcome=failure.outcome,
                      reason=failure.reason)
        module.fail_json(msg=failure.msg, **answer)


if __name__ == '__main__':
    main()
