# -*- coding: utf-8 -*-
# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""Runs dialerctl for the collection's modules and reads its JSON.

Every rule about the dialers (the line, the commands, the verdicts, the port numbering) is
dialerctl's own: this file only checks the options, builds dialerctl's command line and reads
what it printed. An option that cannot be carried out exactly is refused here, before dialerctl
runs, naming the option and what to write instead.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os
import re

from ansible.module_utils.basic import _load_params
from ansible.module_utils.six import string_types

# The document dialerctl prints under --json that this collection reads.
SCHEMA = 2

# The six values in the order the dialer keeps them, under dialerctl's own field names.
FIELDS = ('phone1', 'phone2', 'phone3', 'phone4', 'phone5', 'free')

# What dialerctl tells of a port's USB adapter; each key is null where it is not known.
ADAPTER_KEYS = ('serial', 'vid', 'pid', 'by_id', 'description', 'manufacturer')

# What the options common to the modules look like in argument_spec.
COMMON_ARGS = dict(
    port_map=dict(type='path'),
    retries=dict(type='int', default=0),
    wait_busy=dict(type='float', default=0),
    timeout=dict(type='int', default=30),
    dialerctl=dict(type='path'),
    log=dict(type='path'),
)

# What an empty option would silently switch off, and what to write instead.
GUARDS = dict(
    port_map='the port map file, or leave port_map out for the map of the user the task runs as',
    dialerctl="dialerctl's path, or leave dialerctl out to find it on PATH",
    log='the log file, or leave log out for no log',
    backup_dir='the folder for backups, or leave backup_dir out for none',
    expect_serial="the adapter's serial number in quotes, or leave expect_serial out",
    src='the Velkor.ini file to restore, or leave src out',
)

# What to write instead of null, for the options whose null means nothing (all but the six
# fields, where null keeps the dialer's value).
NOT_NULL = dict(
    GUARDS,
    port="the dialer's port, such as a /dev/serial/by-id/ path",
    ports="a list of ports, [all] for every port that opens, or leave ports out to only list "
          "the ports",
    timeout='the deadline in seconds, above 0, or leave timeout out for 30',
    retries='0 or more, or leave retries out for 0',
    wait_busy='a number of seconds from 0, or leave wait_busy out for 0',
)

# coreutils' timeout once the deadline has passed: 124 when the program ended on its SIGTERM,
# 137 when it had to be killed. A negative status is a kill that reached timeout itself.
DEADLINE_STATUSES = (124, 137)
# timeout itself failed (125), or could not start the program (126: not executable, 127: not
# found).
NOT_STARTED = (125, 126, 127)
# dialerctl's own ending on SIGHUP, SIGINT and SIGTERM, after its document.
SIGNALLED = (129, 130, 143)
# dialerctl refused the run as a whole: nothing was sent anywhere.
REFUSED_STATUS = 2

NOT_JSON = object()


class Failure(Exception):
    """The task fails before or around dialerctl's run, with no port's result to tell.

    `changed` is true when a save may have gone out: a write is never reported as unchanged.
    """

    def __init__(self, reason, msg, outcome='refused', changed=False):
        Exception.__init__(self, msg)
        self.reason = reason
        self.msg = msg
        self.outcome = outcome
        self.changed = changed


def refuse(option, problem, instead):
    raise Failure('usage', '%s %s: write %s. Nothing was sent.' % (option, problem, instead))


def check_given(keeps_null=()):
    """Refuses an option given as null, other than those in `keeps_null`.

    AnsibleModule gives a null option as it gives one left out: None, or the default. A guard a
    template rendered null (`"{{ serial }}"` with `serial:` null) would so switch itself off,
    and a null where a default stood would reach dialerctl's command line. The arguments as the
    task gave them still tell null from left out.
    """
    given = _load_params()
    for name in sorted(given):
        if name.startswith('_ansible_') or name in keeps_null:
            continue
        if given[name] is None:
            refuse(name, 'is null (a variable that is null, or nothing after the key)',
                   NOT_NULL.get(name, 'a value, or leave %s out' % name))
        # A list would give a null item as the text 'None'.
        if isinstance(given[name], list) and None in given[name]:
            refuse(name, 'holds a null', 'each item as text')


def check_text(params, names):
    """Options taken as written: only a string is, since YAML has lost a number's form."""
    for name in names:
        value = params.get(name)
        if value is None or isinstance(value, string_types):
            continue
        if isinstance(value, bool):
            what = 'the boolean %s' % value
        elif isinstance(value, (int, float)):
            what = 'the number %s' % value
        else:
            what = 'a %s' % type(value).__name__
        raise Failure('input', "%s is %s, not text: unquoted, YAML reads +79001234567 as the "
                               "number 79001234567, 0123 as 83 and yes as a boolean, and how it "
                               "was written is lost. Write the value in quotes, as %s: '0123'. "
                               "Nothing was sent." % (name, what, name))


def check_options(params):
    """Refuses empty guards and numbers that do not make a deadline, before anything runs."""
    for name, instead in sorted(GUARDS.items()):
        value = params.get(name)
        if isinstance(value, string_types) and not value.strip():
            refuse(name, 'is empty (a template that rendered nothing?)', instead)
    timeout = params['timeout']
    if not timeout > 0:
        refuse('timeout', 'is %s' % timeout, 'the deadline in seconds, above 0, such as 30')
    if not params['retries'] >= 0:
        refuse('retries', 'is %s' % params['retries'], '0 or more')
    if not 0 <= params['wait_busy'] < timeout:
        refuse('wait_busy', 'is %s with a timeout of %s s' % (params['wait_busy'], timeout),
               'a number of seconds from 0, shorter than timeout')


def named(values):
    """The six values as a dict of field names, or None where they are not known."""
    if not isinstance(values, list) or len(values) != len(FIELDS):
        return None
    return dict(zip(FIELDS, values))


def adapter_of(entry):
    """A port's adapter with every key, each null where dialerctl did not tell it."""
    adapter = entry.get('adapter') if isinstance(entry, dict) else None
    adapter = adapter if isinstance(adapter, dict) else {}
    return dict((key, adapter.get(key)) for key in ADAPTER_KEYS)


def common_arguments(params, command):
    """dialerctl's options for the parameters all modules share, as `command` takes them."""
    arguments = []
    if params.get('port_map') is not None:
        arguments += ['--port-map', params['port_map']]
    if command == 'ports':
        return arguments
    if params.get('retries'):
        arguments += ['--retries', str(params['retries'])]
    if params.get('wait_busy'):
        arguments += ['--wait-busy', str(params['wait_busy'])]
    if params.get('log') is not None:
        arguments += ['--log', params['log']]
    return arguments


def programs(module):
    """dialerctl and coreutils' timeout on the managed host, each one that can run."""
    given = module.params.get('dialerctl')
    if given is None:
        dialerctl = module.get_bin_path('dialerctl')
        if not dialerctl:
            raise Failure('program', 'dialerctl is not on the PATH of the managed host: install '
                                     'dialer-config there, or give its path as dialerctl. '
                                     'Nothing was sent.')
    elif not os.path.isfile(given):
        raise Failure('program', 'dialerctl %s does not exist: give the path of dialerctl '
                                 'from dialer-config. Nothing was sent.' % given)
    elif not os.access(given, os.X_OK):
        raise Failure('program', 'dialerctl %s is not executable by the user the task runs '
                                 'as. Nothing was sent.' % given)
    else:
        dialerctl = given
    deadline = module.get_bin_path('timeout')
    if not deadline:
        raise Failure('program', "coreutils' timeout is not on the PATH of the managed host. "
                                 'Nothing was sent.')
    return dialerctl, deadline


def read_document(out, command):
    """The document dialerctl printed, or ValueError saying what it printed instead.

    Every shape is checked that a script can meet: an older dialerctl printed a bare array
    of ports, whose keys differ.
    """
    try:
        document = json.loads(out)
    except ValueError:
        document = NOT_JSON
    if document is NOT_JSON:
        raise ValueError('output that is not JSON: %s' % out.strip()[:200])
    if not isinstance(document, dict):
        raise ValueError('a JSON %s rather than a document (dialerctl before the document '
                         'of schema %d printed a bare array)' % (type(document).__name__, SCHEMA))
    if document.get('schema') != SCHEMA:
        raise ValueError('a document of schema %s' % document.get('schema', '(none)'))
    ports = document.get('ports')
    key = 'state' if command == 'ports' else 'outcome'
    if not isinstance(ports, list) or not all(
            isinstance(entry, dict) and isinstance(entry.get(key), string_types)
            for entry in ports):
        raise ValueError('a document whose ports are not a list of objects with %s' % key)
    error = document.get('error')
    if error is not None and not isinstance(error, dict):
        raise ValueError('a document whose error is not an object')
    if document.get('command') != command:
        raise ValueError('the document of %r, not of %r' % (document.get('command'), command))
    return document


def other_schema(out, err):
    """Why a dialerctl refused `--schema`, told by which side is older; or None.

    A dialerctl that prints another schema says so ("prints documents of schema M"); one older
    than the option refuses it as an unknown option. Either sends nothing.
    """
    said = '%s\n%s' % (err, out)
    other = re.search(r'prints documents of schema (\d+)', said)
    if other and int(other.group(1)) > SCHEMA:
        return ('dialerctl on the managed host is newer than this collection: it prints documents '
                'of schema %s, and this collection reads those of schema %d. Install the '
                'dialerconfig.dialer collection that comes with that dialer-config. Nothing was '
                'sent.' % (other.group(1), SCHEMA))
    if re.search(r"unknown option\W+(--)?schema\b", said, re.IGNORECASE):
        told = ' (%s)' % err.splitlines()[0] if err else ''
        return ('dialerctl on the managed host is older than this collection: its usage error '
                'names the unknown option --schema%s. Install dialer-config 2.0.0 or later '
                'there, whose documents are of schema %d. Nothing was sent.' % (told, SCHEMA))
    return None


def run(module, arguments, data=None, writing=False):
    """Runs dialerctl under the task's deadline; returns (rc, document, stderr, killed).

    `--schema` makes a dialerctl older or newer than this collection refuse the run before it
    sends anything. `writing` is true for a run that may send a save: when it ends without a
    document, a save may have gone out. The deadline ends dialerctl with SIGTERM, which it takes
    as an interruption: it stops in order and still prints a document of what went out. Only
    when it had to be killed is there none.
    """
    dialerctl, deadline = programs(module)
    seconds = module.params['timeout']
    command = [deadline, '--kill-after=5', str(seconds), dialerctl, arguments[0],
               '--schema', str(SCHEMA)] + arguments[1:]
    # Each argument as given: run_command would otherwise expand ~ and $VAR in a serial number.
    rc, out, err = module.run_command(command, data=data, environ_update={'LC_ALL': 'C.UTF-8'},
                                      expand_user_and_vars=False)
    killed = rc in DEADLINE_STATUSES or rc < 0
    err = (err or '').strip()
    if rc == REFUSED_STATUS:
        mismatch = other_schema(out, err)
        if mismatch:
            raise Failure('schema', mismatch)
    try:
        return rc, read_document(out, arguments[0]), err, killed
    except ValueError as problem:
        what = problem
    may_have_written = writing and rc != REFUSED_STATUS and rc not in NOT_STARTED
    unknown = ('A save may have gone out: read the dialer again.' if may_have_written
               else 'Nothing was written.')
    if killed:
        raise Failure('interrupted', 'dialerctl did not finish within %d s and was ended before '
                                     'it reported (interrupted, status %d). %s'
                      % (seconds, rc, unknown),
                      outcome='interrupted', changed=may_have_written)
    if rc in NOT_STARTED:
        raise Failure('program', 'dialerctl %s could not be started (status %d). %s %s'
                      % (dialerctl, rc, err, unknown))
    if not out.strip():
        raise Failure('program', 'dialerctl ended with status %d and printed nothing. %s %s'
                      % (rc, err, unknown), outcome='failed', changed=may_have_written)
    raise Failure('schema', 'dialerctl printed %s; this collection reads the documents of schema '
                            '%d of dialerctl 2.0.0 or later: install that dialer-config on the '
                            'managed host. %s' % (what, SCHEMA, unknown),
                  outcome='failed', changed=may_have_written)


def whole_run_failure(document):
    """A Failure for a document of a run that failed as a whole, or None.

    Such a run sent nothing anywhere: dialerctl refuses it (usage, input), or no port opens.
    """
    error = document.get('error')
    if not error:
        return None
    reason = str(error.get('reason') or 'usage')
    message = str(error.get('message') or 'dialerctl refused the run').strip()
    return Failure(reason, '%s (%s)' % (message, reason),
                   outcome='port-error' if reason == 'no-port' else 'refused')
