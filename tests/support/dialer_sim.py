# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""One simulated dialer (dialer-sim) on a pseudo-terminal, for tests written in Python.

It logs every command it receives; `commands()` gives them as bytes, in order.
"""

import os
import subprocess
import tempfile
import time


class Dialer:
    """A dialer-sim started with `options`; `path` is its port."""

    def __init__(self, simulator, work, options, log_name=None):
        if log_name:
            self.log = os.path.join(work, log_name)
        else:
            self.log = tempfile.NamedTemporaryFile(dir=work, suffix='.log', delete=False).name
        with open(self.log, 'wb') as out:
            self.process = subprocess.Popen([simulator, '--verbose'] + list(options), stdout=out,
                                            stderr=subprocess.STDOUT)
        self.path = None
        for _ in range(500):
            with open(self.log, encoding='utf-8', errors='replace') as lines:
                first = lines.readline()
            if first.endswith('\n'):
                self.path = first.strip()
                break
            time.sleep(0.01)
        if not self.path:
            self.stop()
            raise RuntimeError('dialer-sim did not start: %s' % ' '.join(options))

    def commands(self):
        """Each command received, as the bytes that came, CR LF included."""
        with open(self.log, encoding='utf-8', errors='replace') as lines:
            entries = lines.read().splitlines()[1:]
        return [bytes.fromhex(entry[3:].split('  ', 1)[0]) for entry in entries
                if entry.startswith('<- ')]

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
