# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""The Linux release as a site PC meets it: SHA256SUMS.asc beside the .deb, and the signed apt
repository scripts/apt-repository.sh makes, served over HTTP on this machine and read by apt
with state, cache and configuration folders of its own (this machine's stay untouched).

Run after scripts/package.sh, with DIALER_KEYS the folder of scripts/throwaway-keys.sh whose key
signed build-release/SHA256SUMS:
    DIALER_KEYS=... python3 tests/packaging/test_release_linux.py
"""

import functools
import glob
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
# pylint: disable=wrong-import-position
from signatures import sums_checks  # noqa: E402

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..'))
RELEASE = os.path.join(ROOT, 'build-release')
KEYS = os.environ.get('DIALER_KEYS', '')


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    """Serves files without a line for each request."""

    def log_message(self, *args):  # pylint: disable=arguments-differ
        pass


def serve(folder):
    """A web server for a folder on 127.0.0.1, as a company's would serve the repository."""
    handler = functools.partial(QuietHandler, directory=folder)
    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


class Apt:  # pylint: disable=too-few-public-methods
    """apt with folders of its own, one deb822 source with signed-by, nothing of this machine's
    configuration, keys or package state."""

    def __init__(self, work, url, keyring):
        self.root = os.path.join(work, 'apt')
        for sub in ('state/lists/partial', 'cache/archives/partial', 'sources.list.d',
                    'apt.conf.d', 'preferences.d', 'trusted.gpg.d', 'download'):
            os.makedirs(os.path.join(self.root, sub))
        for name in ('state/status', 'sources.list'):
            open(os.path.join(self.root, name), 'w', encoding='utf-8').close()
        with open(os.path.join(self.root, 'sources.list.d', 'dialer-config.sources'), 'w',
                  encoding='utf-8') as sources:
            sources.write('Types: deb\nURIs: %s\nSuites: stable\nComponents: main\n'
                          'Signed-By: %s\n' % (url, keyring))
        options = {
            'Dir::State': 'state', 'Dir::State::status': 'state/status', 'Dir::Cache': 'cache',
            'Dir::Etc::SourceList': 'sources.list', 'Dir::Etc::SourceParts': 'sources.list.d',
            'Dir::Etc::Parts': 'apt.conf.d', 'Dir::Etc::PreferencesParts': 'preferences.d',
            'Dir::Etc::TrustedParts': 'trusted.gpg.d', 'Dir::Etc::Trusted': 'trusted.gpg',
        }
        self.options = []
        for name, path in options.items():
            self.options += ['-o', '%s=%s' % (name, os.path.join(self.root, path))]
        self.options += ['-o', 'Acquire::http::Proxy=DIRECT', '-o', 'APT::Architecture=amd64',
                         '-o', 'APT::Architectures=amd64', '-o', 'Debug::NoLocking=1']
        self.env = {k: v for k, v in os.environ.items() if not k.lower().endswith('_proxy')}
        self.env['LC_ALL'] = 'C.UTF-8'

    def __call__(self, *args, cwd=None):
        return subprocess.run([args[0]] + self.options + list(args[1:]), cwd=cwd, env=self.env,
                              capture_output=True, text=True, check=False,
                              stdin=subprocess.DEVNULL)


def repository(work, name, gnupg_home, debs):
    folder = os.path.join(work, name)
    env = dict(os.environ, GNUPGHOME=gnupg_home)
    key = subprocess.run(['gpg', '--batch', '--list-keys', '--with-colons'], env=env, text=True,
                         capture_output=True, check=True).stdout
    env['DIALER_GPG_KEY'] = [line.split(':')[9] for line in key.splitlines()
                             if line.startswith('fpr')][0]
    subprocess.run([os.path.join(ROOT, 'scripts', 'apt-repository.sh'), folder] + debs,
                   env=env, check=True, stdout=subprocess.DEVNULL)
    return folder


class Release(unittest.TestCase):
    """What this build's release gives a site PC."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        os.chmod(cls.work, 0o755)  # apt downloads as a user of its own, _apt
        cls.debs = glob.glob(os.path.join(RELEASE, '*.deb'))
        cls.version = subprocess.run(['dpkg-deb', '-f', cls.debs[0], 'Version'], text=True,
                                     capture_output=True, check=True).stdout.strip()

    @classmethod
    def tearDownClass(cls):
        for home in ('gnupg', 'other-gnupg'):
            subprocess.run(['gpgconf', '--homedir', os.path.join(KEYS, home), '--kill', 'all'],
                           check=False)
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_sums_signed(self):
        for name, error in sums_checks(RELEASE, KEYS):
            with self.subTest(name):
                self.assertIsNone(error)

    def test_apt_repository(self):
        # apt reads the key as a user of its own (_apt), as it would from /etc/apt/keyrings.
        keyring = os.path.join(self.work, 'signing-key.gpg')
        shutil.copyfile(os.path.join(KEYS, 'signing-key.gpg'), keyring)
        os.chmod(keyring, 0o644)
        for name, home, accepted in (('ours', 'gnupg', True), ('other', 'other-gnupg', False)):
            with self.subTest(signed_by=name):
                folder = repository(self.work, name, os.path.join(KEYS, home), self.debs)
                server = serve(folder)
                try:
                    apt = Apt(os.path.join(self.work, name + '-client'),
                              'http://127.0.0.1:%d/' % server.server_address[1], keyring)
                    update = apt('apt-get', 'update')
                    policy = apt('apt-cache', 'policy', 'dialer-config').stdout
                    download = apt('apt-get', 'download', 'dialer-config',
                                   cwd=os.path.join(apt.root, 'download'))
                finally:
                    server.shutdown()
                    server.server_close()
                report = update.stdout + update.stderr
                if accepted:
                    self.assertEqual(update.returncode, 0, report)
                    self.assertNotRegex(report, r'(?m)^(W|E):', report)
                    self.assertIn('Candidate: %s' % self.version, policy)
                    self.assertEqual(download.returncode, 0, download.stderr)
                    fetched = glob.glob(os.path.join(apt.root, 'download', '*.deb'))
                    with open(fetched[0], 'rb') as got, open(self.debs[0], 'rb') as built:
                        self.assertEqual(got.read(), built.read())
                else:
                    self.assertNotEqual(update.returncode, 0, report)
                    self.assertIn('NO_PUBKEY', report)
                    self.assertNotIn('Candidate: %s' % self.version, policy)


if __name__ == '__main__':
    unittest.main(verbosity=2)
