# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""The signed Windows packages against the unsigned ones of the same build.

    python3 tests/windows/check_signed.py UNSIGNED SIGNED KEYS

UNSIGNED and SIGNED are folders with the .msi, the .zip and SHA256SUMS, KEYS the folder of
scripts/throwaway-keys.sh, whose timestamping key signed the timestamps. Every .exe and .dll the
packages hold, whatever their names, and the .msi itself: signed by the run's certificate and no
other (the signer's certificate is that one, byte for byte, and verification against another
fails), with a timestamp that verifies. The signature is the only difference: each signed file is
the unsigned one with its signature attached, byte for byte, and so is the signed .msi the .msi it
came from, which installs the .zip's files and has the unsigned .msi's tables and package code.
SHA256SUMS.asc is checked as on Linux.
"""

import base64
import glob
import os
import re
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
# pylint: disable=wrong-import-position
from signatures import refused, report, run, same_bytes, sums_checks  # noqa: E402

SIGNED = ('.exe', '.dll')  # every program and library that ships
PEM = re.compile(r'-----BEGIN CERTIFICATE-----(.*?)-----END CERTIFICATE-----', re.S)


def ders(pem_text):
    return [base64.b64decode(''.join(block.split())) for block in PEM.findall(pem_text)]


def certified(path, keys, work):
    """None when the file's signature verifies against the run's certificate, with a timestamp
    that verifies against its timestamping key, carries that certificate alone, and does not
    verify against another."""
    certificate = os.path.join(keys, 'sign-cert.pem')
    done = subprocess.run(['osslsigncode', 'verify', '-CAfile', certificate, '-TSA-CAfile',
                           os.path.join(keys, 'tsa-cert.pem'), '-in', path],
                          capture_output=True, text=True, check=False)
    shown = done.stdout + done.stderr
    if done.returncode != 0:
        return 'does not verify:\n' + shown
    if 'Timestamp Server Signature verification: ok' not in shown:
        return 'has no timestamp that verifies:\n' + shown
    signature = os.path.join(work, 'signature.pem')
    if os.path.exists(signature):
        os.remove(signature)
    error = run('osslsigncode', 'extract-signature', '-pem', '-in', path, '-out', signature)
    if error:
        return error
    carried = subprocess.run(['openssl', 'pkcs7', '-in', signature, '-print_certs'],
                             capture_output=True, text=True, check=False).stdout
    with open(certificate, encoding='ascii') as pinned:
        if ders(carried) != ders(pinned.read()):
            return 'is signed with another certificate:\n' + carried
    return refused('osslsigncode', 'verify', '-CAfile', os.path.join(keys, 'other-cert.pem'),
                   '-in', path)


def signature_only(signed, unsigned, certificate, work):
    """None when `signed` is `unsigned` with the signature of `signed` attached (which is
    verified against the certificate once attached)."""
    signature = os.path.join(work, 'signature.der')
    again = os.path.join(work, 'again' + os.path.splitext(signed)[1])
    for stale in (signature, again):
        if os.path.exists(stale):
            os.remove(stale)
    error = (run('osslsigncode', 'extract-signature', '-in', signed, '-out', signature)
             or run('osslsigncode', 'attach-signature', '-CAfile', certificate, '-sigin',
                    signature, '-in', unsigned, '-out', again))
    if error is None and not same_bytes(again, signed):
        error = '%s is not %s with its signature attached' % (signed, unsigned)
    return error


def each(names, check):
    """One error naming every file whose check fails, or None."""
    errors = ['%s %s' % (name, error) for name, error in ((n, check(n)) for n in names)
              if error]
    return '\n'.join(errors) or None


def zip_checks(unsigned_zip, signed_zip, keys, work):
    with zipfile.ZipFile(unsigned_zip) as a, zipfile.ZipFile(signed_zip) as b:
        names = a.namelist()
        yield ('the .zip holds the same files signed as unsigned',
               None if names == b.namelist() else '%s\n%s' % (names, b.namelist()))
        a.extractall(os.path.join(work, 'unsigned'))
        b.extractall(os.path.join(work, 'signed'))

    def path(kind, name):
        return os.path.join(work, kind, name)

    signed = [n for n in names if n.lower().endswith(SIGNED)]
    certificate = os.path.join(keys, 'sign-cert.pem')
    yield ('every .exe and .dll in the .zip (%d: %s) signed by the run\'s certificate alone, '
           'timestamped' % (len(signed), ', '.join(os.path.basename(n) for n in signed)),
           each(signed, lambda n: certified(path('signed', n), keys, work))
           if signed else 'no .exe or .dll')
    yield ('each the unsigned file with its signature attached',
           each(signed, lambda n: signature_only(path('signed', n), path('unsigned', n),
                                                 certificate, work)))
    yield ('the .zip\'s other files: the same bytes',
           each([n for n in names if n not in signed],
                lambda n: None if same_bytes(path('unsigned', n), path('signed', n))
                else 'differs'))


def file_row(table, row):
    """The row as the signatures leave it: the signed files' sizes and hashes left out."""
    cells = row.split('\t')
    if table == 'File' and len(cells) > 3 and cells[2].lower().endswith(SIGNED):
        del cells[3]  # File, Component_, FileName, FileSize, ...
    elif table == 'MsiFileHash' and cells[0].lower().endswith(('_exe', '_dll')):
        cells = cells[:1]  # File_, Options, HashPart1 ... HashPart4
    return '\t'.join(cells)


def tables(msi, work):
    """The .msi's tables and summary as text, as the signatures leave them."""
    text = [subprocess.run(['msiinfo', 'suminfo', msi], capture_output=True, text=True,
                           check=True).stdout]
    os.makedirs(work, exist_ok=True)
    names = subprocess.run(['msiinfo', 'tables', msi], capture_output=True, text=True,
                           check=True).stdout.split()
    for table in sorted(names):
        rows = subprocess.run(['msiinfo', 'export', msi, table], cwd=work, capture_output=True,
                              text=True, check=True).stdout.splitlines()
        text.append('== %s\n%s' % (table, '\n'.join(file_row(table, row) for row in rows)))
    return '\n'.join(text)


def package_code(msi):
    shown = subprocess.run(['msiinfo', 'suminfo', msi], capture_output=True, text=True,
                           check=True).stdout
    found = re.search(r'Revision number \(UUID\): (\S+)', shown)
    return found.group(1) if found else None


def files_under(folder):
    """Each file under the folder by its path there."""
    return {os.path.relpath(os.path.join(root, name), folder): os.path.join(root, name)
            for root, _, names in os.walk(folder) for name in names}


def msi_checks(unsigned_msi, signed_msi, keys, work):
    name = os.path.basename(signed_msi)
    yield ('%s signed by the run\'s certificate alone, timestamped' % name,
           certified(signed_msi, keys, work))
    stripped = os.path.join(work, 'stripped.msi')
    error = run('osslsigncode', 'remove-signature', '-in', signed_msi, '-out', stripped)
    yield ('the signed .msi: the .msi it came from with its signature attached',
           error or signature_only(signed_msi, stripped, os.path.join(keys, 'sign-cert.pem'),
                                   work))
    if error:
        return
    # What it installs: the signed .zip's files, every one, and nothing else.
    extracted = os.path.join(work, 'extracted')
    error = run('msiextract', '-C', extracted, stripped)
    found = glob.glob(os.path.join(extracted, '**', 'dialer-config', 'dialerctl.exe'),
                      recursive=True)
    installed = files_under(os.path.dirname(found[0])) if found else {}
    zipped = files_under(os.path.join(work, 'signed', 'dialer-config'))
    differing = sorted(set(zipped) ^ set(installed)) + sorted(
        rel for rel in set(zipped) & set(installed) if not same_bytes(installed[rel], zipped[rel]))
    yield ('the signed .msi installs the signed .zip\'s files, every .exe and .dll among them, '
           'and no other', error or '; '.join(differing) or None)
    code = package_code(unsigned_msi)
    yield ('the unsigned and the signed .msi: one package code, %s' % code,
           None if code and code == package_code(signed_msi) else
           '%s and %s' % (code, package_code(signed_msi)))
    first, second = tables(unsigned_msi, work + '/t1'), tables(stripped, work + '/t2')
    yield ('the signed .msi\'s tables and summary: the unsigned one\'s, but for the signed '
           'files\' sizes and hashes', None if first == second else 'tables differ')


def packages(folder):
    """The .msi and the .zip that the folder's SHA256SUMS names."""
    with open(os.path.join(folder, 'SHA256SUMS'), encoding='utf-8') as sums:
        names = [line.split()[1].lstrip('*') for line in sums if line.strip()]
    return ([n for n in names if n.endswith('.msi')][0],
            [n for n in names if n.endswith('.zip')][0])


def main():
    unsigned, signed, keys = sys.argv[1:4]
    msi, archive = packages(unsigned)
    with tempfile.TemporaryDirectory() as work:
        checks = list(zip_checks(os.path.join(unsigned, archive), os.path.join(signed, archive),
                                 keys, work))
        checks += msi_checks(os.path.join(unsigned, msi), os.path.join(signed, msi), keys, work)
        checks += sums_checks(signed, keys)
        sys.exit(0 if report('signatures', checks) else 1)


if __name__ == '__main__':
    main()
