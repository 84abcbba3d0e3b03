# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""A stdout callback for the fleet tests: every task's result per host, as one JSON document.

ansible-core has no JSON callback of its own (it lives in a collection that is not installed
here), and the tests read the results, not the text.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
name: fleet_results
type: stdout
short_description: Every task's result per host as one JSON document
description: Prints one document of the tasks and each one's result per host, at the end.
'''

import json

from ansible.plugins.callback import CallbackBase


class CallbackModule(CallbackBase):
    """Keeps each result and prints them all when the playbook ends."""

    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = 'stdout'
    CALLBACK_NAME = 'fleet_results'

    def __init__(self):
        super().__init__()
        self.tasks = []

    def v2_playbook_on_task_start(self, task, is_conditional):
        self.tasks.append({'name': task.get_name(), 'hosts': {}})

    def _record(self, result, **extra):
        outcome = dict(result._result)  # pylint: disable=protected-access
        outcome.update(extra)
        host = result._host.get_name()  # pylint: disable=protected-access
        self.tasks[-1]['hosts'][host] = outcome

    def v2_runner_on_ok(self, result):
        self._record(result)

    def v2_runner_on_failed(self, result, ignore_errors=False):
        self._record(result, failed=True)

    def v2_runner_on_unreachable(self, result):
        self._record(result, failed=True, unreachable=True)

    def v2_runner_on_skipped(self, result):
        self._record(result, skipped=True)

    def v2_playbook_on_stats(self, stats):
        self._display.display(json.dumps({'tasks': self.tasks}))
