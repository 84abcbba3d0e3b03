# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""Checks of signed packages, shared by the Linux and Windows lanes: each check a name and an
error (None when it holds), run by `report`, which prints them and the closing count.

The keys are those of scripts/throwaway-keys.sh: KEYS/signing-key.{asc,gpg}, other-key.gpg, ...
"""

import os
import subprocess
import tempfile


def run(*command, cwd=None, env=None):
    """None when the command succeeds, else what it printed."""
    done = subprocess.run(command, cwd=cwd, env=env, capture_output=True, check=False,
                          stdin=subprocess.DEVNULL)
    if done.returncode == 0:
        return None
    return '%s: exit %d\n%s%s' % (' '.join(command), done.returncode,
                                  done.stdout.decode('utf-8', 'replace'),
                                  done.stderr.decode('utf-8', 'replace'))


def refused(*command, cwd=None, env=None):
    """None when the command fails, as it must."""
    if run(*command, cwd=cwd, env=env) is None:
        return '%s: accepted' % ' '.join(command)
    return None


def sums_checks(folder, keys):
    """SHA256SUMS.asc in a folder: gpgv takes it with the key and refuses it with another or on
    an altered list; then the steps the README and the guide give a user, in a fresh keyring."""
    sums, asc = os.path.join(folder, 'SHA256SUMS'), os.path.join(folder, 'SHA256SUMS.asc')
    yield ('%s: SHA256SUMS.asc verified by gpgv with the key' % folder,
           run('gpgv', '--keyring', os.path.join(keys, 'signing-key.gpg'), asc, sums))
    yield ('%s: SHA256SUMS.asc refused with another key' % folder,
           refused('gpgv', '--keyring', os.path.join(keys, 'other-key.gpg'), asc, sums))
    with tempfile.TemporaryDirectory() as work:
        altered = os.path.join(work, 'SHA256SUMS')
        with open(sums, 'rb') as original, open(altered, 'wb') as copy:
            text = original.read()
            copy.write(text[:-2] + (b'0' if text[-2:-1] != b'0' else b'1') + text[-1:])
        yield ('%s: an altered SHA256SUMS refused' % folder,
               refused('gpgv', '--keyring', os.path.join(keys, 'signing-key.gpg'), asc, altered))
        home = os.path.join(work, 'gnupg')
        os.mkdir(home, 0o700)
        user = dict(os.environ, GNUPGHOME=home)
        try:
            yield ('%s: the user\'s steps: gpg --import, gpg --verify, sha256sum --check' % folder,
                   run('gpg', '--import', os.path.join(keys, 'signing-key.asc'), env=user)
                   or run('gpg', '--verify', 'SHA256SUMS.asc', 'SHA256SUMS', cwd=folder, env=user)
                   or run('sha256sum', '--check', '--ignore-missing', 'SHA256SUMS', cwd=folder))
        finally:
            subprocess.run(['gpgconf', '--homedir', home, '--kill', 'all'], check=False)


def report(lane, checks):
    """Prints each check and '<lane>: N passed, N failed'; True when none failed."""
    passed = failed = 0
    for name, error in checks:
        if error is None:
            passed += 1
            print('PASS  %s' % name)
        else:
            failed += 1
            print('FAIL  %s\n%s' % (name, error.rstrip()))
    print('%s: %d passed, %d failed' % (lane, passed, failed))
    return failed == 0


def same_bytes(first, second):
    with open(first, 'rb') as a, open(second, 'rb') as b:
        return a.read() == b.read()
