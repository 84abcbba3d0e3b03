# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""The Linux release as a site PC meets it: SHA256SUMS.asc beside the .deb, and the signed apt
repository scripts/apt-repository.sh makes, served over HTTP on this machine and read by apt
with state, cache and configuration folders of its own (this machine's stay untouched). A site
PC installs the package into a folder of its own through apt and dpkg, and upgrades it to the
next version once the repository serves it.

Run after scripts/package.sh, with DIALER_KEYS the folder of scripts/throwaway-keys.sh whose key
signed build-release/SHA256SUMS:
    DIALER_KEYS=... python3 tests/packaging/test_release_linux.py
"""

import functools
import glob
import http.server
import os
import re
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
    """Serves files without a line for each request; `stale` maps a path to the bytes served
    for it instead of the file's, as a reader that fetched it earlier holds them."""

    stale = {}

    def log_message(self, *args):  # pylint: disable=arguments-differ
        pass

    def do_GET(self):  # noqa: N802 pylint: disable=invalid-name
        if self.path not in self.stale:
            # Always the file itself: the test publishes twice within a second, and the times
            # If-Modified-Since compares are whole seconds.
            del self.headers['If-Modified-Since']
            super().do_GET()
            return
        self.send_response(200)
        self.send_header('Content-Length', str(len(self.stale[self.path])))
        self.end_headers()
        self.wfile.write(self.stale[self.path])


def serve(folder, stale=None):
    """A web server for a folder on 127.0.0.1, as a company's would serve the repository."""
    handler = functools.partial(type('Handler', (QuietHandler,), {'stale': stale or {}}),
                                directory=folder)
    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


class Apt:  # pylint: disable=too-few-public-methods
    """apt with folders of its own, one deb822 source with signed-by, nothing of this machine's
    configuration or keys (APT_CONFIG names its only configuration file).

    Alone it has no packages installed. As a site PC (`site_pc`), dpkg installs into a root
    folder of its own whose state starts as this machine's: the package's dependencies are
    installed there as far as apt and dpkg can tell, with none of their files."""

    def __init__(self, work, url, keyring, site_pc=False):
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
            'Dir::Etc::main': 'apt.conf',
        }
        options = {name: os.path.join(self.root, path) for name, path in options.items()}
        options.update({'Acquire::http::Proxy': 'DIRECT', 'APT::Architecture': 'amd64',
                        'APT::Architectures': 'amd64', 'Debug::NoLocking': '1'})
        lists = {}
        if site_pc:
            site_root = os.path.join(self.root, 'site-pc')
            self.dpkg = os.path.join(site_root, 'var', 'lib', 'dpkg')
            self._installed_as_here()
            options['Dir::State::status'] = os.path.join(self.dpkg, 'status')
            lists['DPkg::Options'] = '--root=' + site_root
        with open(os.path.join(self.root, 'apt.conf'), 'w', encoding='utf-8') as conf:
            conf.writelines('%s "%s";\n' % item for item in options.items())
            conf.writelines('%s { "%s"; };\n' % item for item in lists.items())
        self.env = {k: v for k, v in os.environ.items() if not k.lower().endswith('_proxy')}
        self.env.update(LC_ALL='C.UTF-8', APT_CONFIG=os.path.join(self.root, 'apt.conf'))

    def _installed_as_here(self):
        """dpkg's state of this machine, without dialer-config and with empty file lists."""
        os.makedirs(os.path.join(self.dpkg, 'info'))
        os.makedirs(os.path.join(self.dpkg, 'updates'))
        with open('/var/lib/dpkg/status', encoding='utf-8') as here:
            stanzas = here.read().strip().split('\n\n')
        with open(os.path.join(self.dpkg, 'status'), 'w', encoding='utf-8') as status:
            status.write(''.join(stanza + '\n\n' for stanza in stanzas
                                 if not stanza.startswith('Package: dialer-config\n')))
        for listed in glob.glob('/var/lib/dpkg/info/*.list'):
            if not os.path.basename(listed).startswith('dialer-config'):
                open(os.path.join(self.dpkg, 'info', os.path.basename(listed)), 'w',
                     encoding='utf-8').close()

    def installed(self, package):
        """The version of `package` dpkg has installed on the site PC, or None."""
        query = subprocess.run(['dpkg-query', '--admindir=' + self.dpkg, '-W',
                                '-f=${Status} ${Version}', package], text=True,
                               capture_output=True, check=False)
        words = query.stdout.split()
        return words[-1] if words[:3] == ['install', 'ok', 'installed'] else None

    def __call__(self, *args, cwd=None):
        return subprocess.run(list(args), cwd=cwd, env=self.env, capture_output=True, text=True,
                              check=False, stdin=subprocess.DEVNULL)


def publish(folder, gnupg_home, debs):
    """scripts/apt-repository.sh FOLDER DEBS, signed with the key of `gnupg_home`."""
    env = dict(os.environ, GNUPGHOME=gnupg_home)
    key = subprocess.run(['gpg', '--batch', '--list-keys', '--with-colons'], env=env, text=True,
                         capture_output=True, check=True).stdout
    env['DIALER_GPG_KEY'] = [line.split(':')[9] for line in key.splitlines()
                             if line.startswith('fpr')][0]
    return subprocess.run([os.path.join(ROOT, 'scripts', 'apt-repository.sh'), folder] + debs,
                          env=env, text=True, capture_output=True, check=False)


def repository(work, name, gnupg_home, debs):
    folder = os.path.join(work, name)
    published = publish(folder, gnupg_home, debs)
    if published.returncode != 0:
        raise AssertionError(published.stderr)
    return folder


def repacked(deb, version, folder):
    """The package rebuilt at `version`: another build, as a new release or a rebuild is."""
    tree = os.path.join(folder, 'tree-' + version)
    subprocess.run(['dpkg-deb', '-R', deb, tree], check=True)
    control = os.path.join(tree, 'DEBIAN', 'control')
    with open(control, encoding='utf-8') as text:
        fields = re.sub(r'(?m)^Version: .*$', 'Version: ' + version, text.read())
    with open(control, 'w', encoding='utf-8') as text:
        text.write(fields)
    built = os.path.join(folder, 'dialer-config_%s_rebuilt.deb' % version)
    subprocess.run(['dpkg-deb', '--root-owner-group', '-Zgzip', '-z1', '-b', tree, built],
                   check=True, stdout=subprocess.DEVNULL)
    shutil.rmtree(tree)
    return built


def next_version(version):
    """2.0.0 -> 2.0.1: the next patch release."""
    head, last = re.match(r'(.*?)(\d+)$', version).groups()
    return head + str(int(last) + 1)


class Release(unittest.TestCase):
    """What this build's release gives a site PC."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp()
        os.chmod(cls.work, 0o755)  # apt downloads as a user of its own, _apt
        cls.debs = glob.glob(os.path.join(RELEASE, '*.deb'))
        cls.version = subprocess.run(['dpkg-deb', '-f', cls.debs[0], 'Version'], text=True,
                                     capture_output=True, check=True).stdout.strip()
        # apt reads the key as a user of its own (_apt), as it would from /etc/apt/keyrings.
        cls.keyring = os.path.join(cls.work, 'signing-key.gpg')
        shutil.copyfile(os.path.join(KEYS, 'signing-key.gpg'), cls.keyring)
        os.chmod(cls.keyring, 0o644)

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
        keyring = self.keyring
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

    def test_upgrade_to_the_next_version(self):
        """A site PC installs this version, the repository refuses a rebuild of it and takes the
        next, an apt that read InRelease before that publish still reads its indexes, and
        apt-get upgrade brings the site PC the next version."""
        folder = os.path.join(self.work, 'releases')
        os.makedirs(folder)
        later = next_version(self.version)
        rebuilt, newer = repacked(self.debs[0], self.version, folder), repacked(
            self.debs[0], later, folder)
        served = repository(self.work, 'served', os.path.join(KEYS, 'gnupg'), self.debs)
        in_release = os.path.join(served, 'dists', 'stable', 'InRelease')
        server = serve(served)
        try:
            site = Apt(os.path.join(self.work, 'site-pc'),
                       'http://127.0.0.1:%d/' % server.server_address[1], self.keyring,
                       site_pc=True)
            self.assertIsNone(site.installed('dialer-config'))
            for step in (('apt-get', 'update'), ('apt-get', 'install', '-y', 'dialer-config')):
                done = site(*step)
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            self.assertEqual(site.installed('dialer-config'), self.version)

            with open(in_release, 'rb') as first:
                read_before = first.read()
            refused = publish(served, os.path.join(KEYS, 'gnupg'), [rebuilt])
            self.assertEqual(refused.returncode, 1, refused.stdout)
            for named in (rebuilt, 'dialer-config_%s_amd64.deb' % self.version):
                self.assertIn(named, refused.stderr)
            with open(in_release, 'rb') as unchanged:
                self.assertEqual(unchanged.read(), read_before)

            self.assertEqual(publish(served, os.path.join(KEYS, 'gnupg'), [newer]).returncode, 0)
            stale = serve(served, {'/dists/stable/InRelease': read_before})
            try:
                reader = Apt(os.path.join(self.work, 'reader'),
                             'http://127.0.0.1:%d/' % stale.server_address[1], self.keyring)
                update = reader('apt-get', 'update')
                policy = reader('apt-cache', 'policy', 'dialer-config').stdout
            finally:
                stale.shutdown()
                stale.server_close()
            self.assertEqual(update.returncode, 0, update.stdout + update.stderr)
            self.assertNotRegex(update.stdout + update.stderr, r'(?m)^(W|E):')
            self.assertIn('Candidate: %s' % self.version, policy)

            for step in (('apt-get', 'update'), ('apt-get', 'upgrade', '-y')):
                done = site(*step)
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            self.assertIn('Unpacking dialer-config (%s) over (%s)' % (later, self.version),
                          done.stdout)
        finally:
            server.shutdown()
            server.server_close()
        self.assertEqual(site.installed('dialer-config'), later)


if __name__ == '__main__':
    unittest.main(verbosity=2)
