#!/usr/bin/python
# -*- coding: utf-8 -*-
# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: dialer_info
short_description: List the serial ports and the values of the GSM dialers on them
version_added: "2.0.0"
description:
  - Lists the ports C(COM1) to C(COM9) as dialer-config numbers them, with their state and
    adapter (C(dialerctl ports --json)). Listing opens each port to tell its state and sends
    nothing to any of them.
  - Reads the six values of the dialer on each port named in I(ports) (C(dialerctl read
    --json)), and on no other; a read sends the dialer's read command, which any other serial
    device on the site PC (a UPS, a modem) would receive as well.
  - Never writes anything to a dialer. A dialer that does not answer is reported, not failed.
requirements:
  - dialerctl 2.0.0 or later on the managed host (the dialer-config package), of the version
    that takes C(--schema) and prints documents of schema 2. Every run asks for them
    (C(--schema 2)), so that a C(dialerctl) older or newer than this collection refuses it
    before sending anything.
  - The C(timeout) program of coreutils on the managed host.
options:
  ports:
    description:
      - The ports whose dialers are read, as C(dialerctl --port) takes them (C(COM1), a
        C(/dev/serial/by-id/...) path); C(all) reads every port that opens now, whatever is
        plugged into it.
      - Left out or empty, nothing is read and nothing is sent; the task only lists the ports.
      - A null, or a null item, is refused rather than read as a port named C(None).
    type: list
    elements: str
    default: []
  port_map:
    description: A port map file that numbers the ports, instead of the user's own. An empty or
      null value is refused.
    type: path
  retries:
    description: How many more times a read without an answer is tried; 0 or more.
    type: int
    default: 0
  wait_busy:
    description: How many seconds to wait for a port another program holds; 0 or more, and
      shorter than I(timeout).
    type: float
    default: 0
  timeout:
    description: The deadline in seconds of each C(dialerctl) run, above 0. C(dialerctl) is sent
      SIGTERM at the deadline and killed 5 s later if it has not ended (C(timeout
      --kill-after=5)), so a run never lasts longer than I(timeout) + 5 s.
    type: int
    default: 30
  dialerctl:
    description: The path of C(dialerctl) on the managed host; found on C(PATH) when not given.
      An empty or null value is refused.
    type: path
  log:
    description: A file on the managed host to which the reads are appended as JSON lines, as
      C(dialerctl --log) writes them. A line that cannot be written fails the task with reason
      C(log). An empty or null value is refused. A log that C(dialerctl) creates is readable and
      writable by the user the task runs as alone (mode 0600); a file already there keeps its
      rights.
    type: path
attributes:
  platform:
    description: Site PCs with a POSIX system (Linux), where C(dialerctl) runs under coreutils'
      C(timeout). Windows site PCs are not managed by this collection.
    support: full
    platforms: posix
  check_mode:
    description: Runs in check mode as it does otherwise; it changes nothing either way.
    support: full
  diff_mode:
    description: Has no diff.
    support: none
notes:
  - An option given as null (a template of a variable that is null, or a key with nothing after
    it) is refused with reason C(usage), naming it, rather than taken for one left out.
  - The values read show in the result (I(dialers)), and so at C(-v) and in every callback.
    Use C(no_log) on the task where they must stay private.
  - A failed task has I(msg) and I(reason), one of C(usage) or C(input) (dialerctl refused the
    options), C(program) (C(dialerctl) or C(timeout) missing, not executable, or ended without
    printing anything), C(schema) (a C(dialerctl) older or newer than this collection, which
    sent nothing; I(msg) says which), C(interrupted) (the deadline passed) and C(log) (a line
    of I(log) could not be written). No port that opens is not a failure; I(dialers) is empty.
  - When Ansible itself refuses the arguments (an unknown option, a I(timeout) that is not a
    number), the task fails before the module runs, with I(msg) alone, without I(reason),
    I(ports) or I(dialers).
seealso:
  - module: dialerconfig.dialer.dialer_settings
author:
  - dialer-config developers (!UNKNOWN)
'''

EXAMPLES = r'''
- name: What each site PC has plugged in, sending nothing to any port
  dialerconfig.dialer.dialer_info:
  register: found

- name: The serial number of each adapter, for the inventory's expect_serial
  ansible.builtin.debug:
    msg: "{{ found.ports | map(attribute='adapter.serial') | list }}"

- name: The values of the site's dialer
  dialerconfig.dialer.dialer_info:
    ports:
      - "{{ dialer_port }}"
  register: site

- name: Its free SMS code
  ansible.builtin.debug:
    msg: "{{ site.dialers | selectattr('values') | map(attribute='values.free') | list }}"

- name: Every port that opens, on a bench where only dialers are plugged in
  dialerconfig.dialer.dialer_info:
    ports: [all]
'''

RETURN = r'''
reason:
  description: Why the task failed, in words that do not depend on the language; C(usage),
    C(input), C(program), C(schema), C(interrupted) or C(log), as the notes tell them.
  type: str
  returned: failure
  sample: schema
msg:
  description: Why the task failed, in English, naming the option or the program at fault.
  type: str
  returned: failure
ports:
  description: One entry a port, as C(dialerctl ports --json) prints it; empty when the task
    failed before the list.
  type: list
  elements: dict
  returned: always
  contains:
    port:
      description: C(COM1) to C(COM9).
      type: str
    device:
      description: The device path.
      type: str
    state:
      description: C(free) (it opens now), C(busy) (another program holds it), C(denied) (this
        user may not open it), C(missing) (the port map names a path that does not exist) or
        C(error).
      type: str
    reason:
      description: Why the port did not open, in words of the system; null when C(free).
      type: str
    group:
      description: For C(denied), the group that would give the user access, such as
        C(dialout); null where only the administrator can help.
      type: str
    adapter:
      description: The adapter, with the keys of I(dialers[].adapter).
      type: dict
  sample: [{"port": "COM1", "device": "/dev/ttyUSB0", "state": "free", "reason": null,
            "group": null, "adapter": {"serial": "A50285BI", "vid": "0403", "pid": "6001",
            "by_id": "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
            "description": "FT232R USB UART", "manufacturer": "FTDI"}}]
dialers:
  description: One entry a port read; empty when I(ports) names none (the default), when none
    of them opens, or when the task failed before the reads.
  type: list
  elements: dict
  returned: always
  contains:
    port:
      description: The port.
      type: str
    device:
      description: The device path.
      type: str
    outcome:
      description: C(read), or why not (C(no-answer), C(check-fields), C(port-error) ...).
      type: str
    reason:
      description: For a failure, dialerctl's reason code; null otherwise.
      type: str
    message:
      description: The message dialer-config shows, in Russian.
      type: str
    values:
      description: The six values by field name; null where none were read.
      type: dict
    adapter:
      description: What the system knows of the port's USB adapter. Every key is present, null
        where it is not known.
      type: dict
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
          description: The C(/dev/serial/by-id) link that leads to the device.
          type: str
        description:
          description: The adapter's product name as the system gives it.
          type: str
        manufacturer:
          description: The adapter's maker as the system gives it.
          type: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.dialerconfig.dialer.plugins.module_utils.dialerctl import (
    COMMON_ARGS, SIGNALLED, Failure, adapter_of, check_given, check_options, common_arguments,
    named, run, whole_run_failure)


def dialer(result):
    return dict(port=result.get('port'), device=result.get('device'),
                outcome=result['outcome'], reason=result.get('reason'),
                message=result.get('message'), values=named(result.get('values')),
                adapter=adapter_of(result))


def gather(module, answer):
    """Fills `answer` with the ports and the dialers read, or raises a Failure."""
    params = module.params
    check_given()
    check_options(params)
    rc, listing, err = run(module, ['ports', '--json'] + common_arguments(params, 'ports'))[:3]
    failure = whole_run_failure(listing)
    if failure:
        raise failure
    if rc != 0:
        raise Failure('program', 'dialerctl ports ended with status %d: %s' % (rc, err))
    answer['ports'] = listing['ports']
    if not params['ports']:
        return  # a read sends a command, to whatever device the port has

    selection = []
    for port in params['ports']:
        selection += ['--port', port]
    rc, document, err, killed = run(module, ['read', '--json'] + selection
                                    + common_arguments(params, 'read'))
    failure = whole_run_failure(document)
    if failure and failure.reason == 'no-port':
        return
    if failure:
        raise failure
    answer['dialers'] = [dialer(result) for result in document['ports']]
    if killed or rc in SIGNALLED:
        raise Failure('interrupted', 'dialerctl read did not finish within %d s (status %d); '
                                     'dialers holds what it read' % (params['timeout'], rc))
    # In a document, a port's failure is told by the port; what is said on standard error
    # beside it is the log's.
    if rc == 1 and err:
        raise Failure('log', err)
    if rc not in (0, 1):
        raise Failure('program', 'dialerctl read ended with status %d: %s' % (rc, err))


def main():
    module = AnsibleModule(
        argument_spec=dict(ports=dict(type='list', elements='str', default=[]), **COMMON_ARGS),
        supports_check_mode=True)
    answer = dict(changed=False, ports=[], dialers=[])
    try:
        gather(module, answer)
    except Failure as failure:
        module.fail_json(msg=failure.msg, reason=failure.reason, **answer)
    module.exit_json(**answer)


if __name__ == '__main__':
    main()
