# -*- coding: utf-8 -*-
# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""Runs dialerctl for the collection's modules and reads its JSON.

Every rule about the dialers (the line, the commands, the verdicts, the port numbering) is
dialerctl's own: this file only builds its command line and reads what it printed.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json

# The document of read, write and apply this collection reads.
SCHEMA = 2

# The six values in the order the dialer keeps them, under dialerctl's own field names.
FIELDS = ('phone1', 'phone2', 'phone3', 'phone4', 'phone5', 'free')

# What the options common to the modules look like in argument_spec.
COMMON_ARGS = dict(
    port_map=dict(type='path'),
    retries=dict(type='int', default=0),
    wait_busy=dict(type='float', default=0),
    timeout=dict(type='int', default=30),
    dialerctl=dict(type='path'),
)


def named(values):
    """The six values as a dict of field names, or None where they are not known."""
    if values is None:
        return None
    return dict(zip(FIELDS, values))


def common_arguments(params, with_waiting=True):
    """dialerctl's options for the parameters all modules share."""
    arguments = []
    if params.get('port_map'):
        arguments += ['--port-map', params['port_map']]
    if with_waiting:
        if params.get('retries'):
            arguments += ['--retries', str(params['retries'])]
        if params.get('wait_busy'):
            arguments += ['--wait-busy', str(params['wait_busy'])]
    return arguments


def run(module, arguments, data=None):
    """Runs dialerctl with a deadline of its own; returns (rc, document, stderr, timed_out).

    The deadline ends dialerctl with SIGTERM, which it takes as an interruption: it stops in
    order and still prints its document, which tells what went out before it stopped.
    """
    program = module.params.get('dialerctl') or module.get_bin_path('dialerctl', required=True)
    deadline = module.get_bin_path('timeout', required=True)
    seconds = module.params['timeout']
    command = [deadline, '--kill-after=5', str(seconds), program] + arguments
    rc, out, err = module.run_command(command, data=data, environ_update={'LC_ALL': 'C.UTF-8'})
    timed_out = rc in (124, 137)
    document = None
    if out.strip():
        try:
            document = json.loads(out)
        except ValueError:
            module.fail_json(msg='dialerctl printed no JSON document: %s' % (err or out).strip(),
                             rc=rc, stdout=out, stderr=err)
    if isinstance(document, dict) and document.get('schema') != SCHEMA:
        module.fail_json(msg='dialerctl printed a document of schema %s; this collection reads '
                             'schema %d' % (document.get('schema'), SCHEMA), rc=rc)
    return rc, document, err, timed_out


def whole_run_error(document, err):
    """The reason and message of a run that failed as a whole, or None."""
    if isinstance(document, dict) and document.get('error'):
        return document['error'].get('reason'), document['error'].get('message')
    if document is None:
        return 'no-output', (err or 'dialerctl printed nothing').strip()
    return None
