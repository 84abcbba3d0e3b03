# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""The line 'N passed, N failed' that every Python test program of the lanes ends with.

    python3 tests/support/unittest_summary.py FOLDER   runs the test_*.py under FOLDER
"""

import sys
import unittest


def summary(outcome):
    """Prints the line for a unittest result; returns the exit status it calls for."""
    # A test whose subtests fail counts once, as it ran once.
    failed = len({getattr(test, 'test_case', test).id()
                  for test, _ in outcome.failures + outcome.errors}) + len(
                      outcome.unexpectedSuccesses)
    print('%d passed, %d failed' % (outcome.testsRun - failed - len(outcome.skipped), failed))
    return 1 if failed or outcome.testsRun == 0 else 0


if __name__ == '__main__':
    sys.exit(summary(unittest.main(module=None, argv=[sys.argv[0], 'discover', '-s', sys.argv[1]],
                                   exit=False, verbosity=2).result))
