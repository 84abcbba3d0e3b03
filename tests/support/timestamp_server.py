# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""An RFC 3161 timestamping server on 127.0.0.1 for the signing tests, as a certificate
authority's is reached by osslsigncode's -ts: each POSTed query answered by `openssl ts -reply`
with the throwaway TSA key of scripts/throwaway-keys.sh (KEYS/tsa-cert.pem, tsa-key.pem).

    python3 tests/support/timestamp_server.py KEYS      prints its URL, serves until ended

or `with serving(KEYS) as url:` in a test, which serves from a thread of its own.
"""

import contextlib
import http.server
import os
import signal
import subprocess
import sys
import tempfile
import threading

CONFIG = """[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = {work}/serial
signer_cert = {keys}/tsa-cert.pem
signer_key = {keys}/tsa-key.pem
certs = {keys}/tsa-cert.pem
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512, sha1
accuracy = secs:1
ess_cert_id_alg = sha256
"""


def server(keys, work):
    """An HTTP server bound to a free port, not yet serving."""
    config = os.path.join(work, 'tsa.cnf')
    with open(config, 'w', encoding='ascii') as out:
        out.write(CONFIG.format(work=work, keys=os.path.abspath(keys)))
    with open(os.path.join(work, 'serial'), 'w', encoding='ascii') as out:
        out.write('01\n')

    class Handler(http.server.BaseHTTPRequestHandler):
        """Answers each RFC 3161 query with openssl ts -reply."""

        def do_POST(self):  # noqa: N802 (http.server's name)
            query = self.rfile.read(int(self.headers.get('Content-Length', 0)))
            done = subprocess.run(['openssl', 'ts', '-reply', '-config', config, '-queryfile',
                                   '/dev/stdin', '-out', '/dev/stdout'], input=query,
                                  capture_output=True, check=False)
            self.send_response(200 if done.returncode == 0 else 500)
            self.send_header('Content-Type', 'application/timestamp-reply')
            self.send_header('Content-Length', str(len(done.stdout)))
            self.end_headers()
            self.wfile.write(done.stdout)

        def log_message(self, *_):
            pass

    return http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)


def url(httpd):
    return 'http://127.0.0.1:%d/' % httpd.server_address[1]


@contextlib.contextmanager
def serving(keys):
    with tempfile.TemporaryDirectory() as work:
        httpd = server(keys, work)
        thread = threading.Thread(target=httpd.serve_forever, daemon=True)
        thread.start()
        try:
            yield url(httpd)
        finally:
            httpd.shutdown()
            httpd.server_close()


def main():
    # Ended by its lane with SIGTERM: its folder goes too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    with tempfile.TemporaryDirectory() as work:
        httpd = server(sys.argv[1], work)
        print(url(httpd), flush=True)
        try:
            httpd.serve_forever()
        except KeyboardInterrupt:
            pass


if __name__ == '__main__':
    main()
