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
    adapter (C(dialerctl ports --json)), and reads the six values of the dialer on each
    selected port (C(dialerctl read --json)).
  - Never writes anything to a dialer. A dialer that does not answer is reported, not failed.
requirements:
  - dialerctl 2.0.0 or later on the managed host (the dialer-config package).
  - The C(timeout) program of coreutils on the managed host.
options:
  ports:
    description:
      - The ports to read, as C(dialerctl --port) takes them; all that open now when empty.
    type: list
    elements: str
    default: []
  port_map:
    description: A port map file that numbers the ports, instead of the user's own.
    type: path
  retries:
    description: How many more times a read without an answer is tried.
    type: int
    default: 0
  wait_busy:
    description: How many seconds to wait for a port another program holds.
    type: float
    default: 0
  timeout:
    description: The deadline in seconds of each C(dialerctl) run.
    type: int
    default: 30
  dialerctl:
    description: The path of C(dialerctl) on the managed host; found on C(PATH) when not given.
    type: path
attributes:
  check_mode:
    description: Runs in check mode as it does otherwise; it changes nothing either way.
    support: full
  diff_mode:
    description: Has no diff.
    support: none
seealso:
  - module: dialerconfig.dialer.dialer_settings
author:
  - dialer-config developers
'''

EXAMPLES = r'''
- name: What each site PC has plugged in
  dialerconfig.dialer.dialer_info:
  register: found

- name: The free SMS code of every dialer found
  ansible.builtin.debug:
    msg: "{{ found.dialers | selectattr('values') | map(attribute='values.free') | list }}"
'''

RETURN = r'''
ports:
  description: One entry a port, as C(dialerctl ports --json) prints it.
  type: list
  elements: dict
  returned: always
  sample: [{"port": "COM1", "device": "/dev/ttyUSB0", "state": "free", "serialNumber": "A1",
            "vendorId": "0403", "productId": "6001", "byId": null, "description": "FT232R",
            "manufacturer": "FTDI"}]
dialers:
  description: One entry a port read.
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
      description: For a failure, the reason code; null otherwise.
      type: str
    message:
      description: The message dialer-config shows, in Russian.
      type: str
    values:
      description: The six values by field name; null where none were read.
      type: dict
    adapter:
      description: The adapter's serial, vid, pid and by_id, where known.
      type: dict
'''

import json

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.dialerconfig.dialer.plugins.module_utils.dialerctl import (
    COMMON_ARGS, common_arguments, named, run, whole_run_error)


def main():
    module = AnsibleModule(
        argument_spec=dict(ports=dict(type='list', elements='str', default=[]), **COMMON_ARGS),
        supports_check_mode=True)
    params = module.params

    rc, listing, err, _ = run(module, ['ports', '--json'] + common_arguments(params, False))
    if rc != 0 or not isinstance(listing, list):
        failed = whole_run_error(listing, err) or ('ports', json.dumps(listing))
        module.fail_json(msg='%s (%s)' % (failed[1], failed[0]), reason=failed[0], rc=rc)

    selection = []
    for port in params['ports']:
        selection += ['--port', port]
    rc, document, err, _ = run(module, ['read', '--json'] + selection + common_arguments(params))
    failed = whole_run_error(document, err)
    if failed and failed[0] != 'no-port':
        module.fail_json(msg='%s (%s)' % (failed[1], failed[0]), reason=failed[0], rc=rc,
                         ports=listing)
    dialers = []
    for result in document.get('ports', []) if document else []:
        dialers.append(dict(port=result['port'], device=result['device'],
                            outcome=result['outcome'], reason=result.get('reason'),
                            message=result.get('message'),
                            values=named(result.get('values')),
                            adapter=result.get('adapter')))
    module.exit_json(changed=False, ports=listing, dialers=dialers)


if __name__ == '__main__':
    main()
