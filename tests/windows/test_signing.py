# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""scripts/signing.sh's Authenticode signing as a release runs it, with keys made for the run
and a timestamping server on 127.0.0.1 standing in for a certificate authority's: a key without
a password signs; a key that is not a throwaway one signs only with a timestamp, and every file
it signs carries one; a timestamp that cannot be had signs nothing.

Run after the `windows` build (its dialerctl.exe is the file signed):
    python3 tests/windows/test_signing.py
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, '..', '..'))
sys.path.insert(0, os.path.join(HERE, '..', 'support'))
# pylint: disable=wrong-import-position
import timestamp_server  # noqa: E402
from signatures import same_bytes  # noqa: E402
from unittest_summary import summary  # noqa: E402

PROGRAM = os.environ.get('DIALERCTL_EXE', os.path.join(ROOT, 'build-windows', 'dialerctl.exe'))
SIGNING = ('DIALER_SIGN_PKCS12', 'DIALER_SIGN_PASSWORD_FILE', 'DIALER_SIGN_PASSWORD',
           'DIALER_SIGN_PKCS11_MODULE', 'DIALER_SIGN_TIMESTAMP', 'DIALER_SIGN_THROWAWAY')


class SigningScript(unittest.TestCase):
    """scripts/signing.sh's authenticode_sign, one case a kind of key."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        cls.keys = os.path.join(cls.work, 'keys')
        subprocess.run([os.path.join(ROOT, 'scripts', 'throwaway-keys.sh'), cls.keys],
                       check=True, capture_output=True)
        cls.empty = os.path.join(cls.work, 'empty-password')
        open(cls.empty, 'w', encoding='ascii').close()

    @classmethod
    def tearDownClass(cls):
        for home in ('gnupg', 'other-gnupg'):
            subprocess.run(['gpgconf', '--homedir', os.path.join(cls.keys, home), '--kill',
                            'all'], check=False)
        shutil.rmtree(cls.work, ignore_errors=True)

    def key(self, name):
        return os.path.join(self.keys, name)

    def sign(self, settings, files):
        """authenticode_sign on the files with only these settings; its exit status and stderr."""
        env = {k: v for k, v in os.environ.items() if k not in SIGNING}
        env.update(settings)
        done = subprocess.run(['sh', '-c', '. scripts/signing.sh && authenticode_sign "$@"', 'sh']
                              + files, cwd=ROOT, env=env, capture_output=True, text=True,
                              check=False)
        return done.returncode, done.stderr

    def verify(self, path):
        """osslsigncode's report on the file against the run's certificate and TSA."""
        done = subprocess.run(['osslsigncode', 'verify', '-CAfile', self.key('sign-cert.pem'),
                               '-TSA-CAfile', self.key('tsa-cert.pem'), '-in', path],
                              capture_output=True, text=True, check=False)
        return done.returncode, done.stdout + done.stderr

    def test_signing(self):
        with timestamp_server.serving(self.keys) as tsa:
            nopass = {'DIALER_SIGN_PKCS12': self.key('sign-nopass.p12')}
            release = {'DIALER_SIGN_PKCS12': self.key('sign.p12'),
                       'DIALER_SIGN_PASSWORD_FILE': self.key('sign.password')}
            throwaway = {'DIALER_SIGN_THROWAWAY': '1'}
            # name, settings, signed, timestamped, words of the refusal
            cases = [
                ('a key without a password', dict(nopass, **throwaway), True, False, None),
                ('a key without a password, its password file empty',
                 dict(nopass, DIALER_SIGN_PASSWORD_FILE=self.empty, **throwaway), True, False,
                 None),
                ('a throwaway key with its password', dict(release, **throwaway), True, False,
                 None),
                ('a release key without a timestamp: refused, nothing signed', release, False,
                 False, 'DIALER_SIGN_TIMESTAMP is not set'),
                ('a release key with a timestamp: every file carries it',
                 dict(release, DIALER_SIGN_TIMESTAMP=tsa), True, True, None),
                ('a key without a password, with a timestamp',
                 dict(nopass, DIALER_SIGN_TIMESTAMP=tsa), True, True, None),
                ('a timestamping server that does not answer: nothing signed',
                 dict(release, DIALER_SIGN_TIMESTAMP='http://127.0.0.1:9/'), False, False, None),
            ]
            for name, settings, signed, timestamped, refusal in cases:
                with self.subTest(name):
                    files = [os.path.join(self.work, n) for n in ('first.exe', 'second.exe')]
                    for path in files:
                        shutil.copyfile(PROGRAM, path)
                    status, stderr = self.sign(settings, files)
                    self.assertEqual(status == 0, signed, stderr)
                    if refusal:
                        self.assertIn(refusal, stderr)
                    for path in files:
                        if not signed:
                            self.assertTrue(same_bytes(path, PROGRAM), path)
                            continue
                        status, report = self.verify(path)
                        self.assertEqual(status, 0, report)
                        self.assertEqual('Timestamp Server Signature verification: ok' in report,
                                         timestamped, report)


if __name__ == '__main__':
    sys.exit(summary(unittest.main(exit=False, verbosity=2).result))
