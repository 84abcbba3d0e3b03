# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

"""The signed Windows packages against the unsigned ones of the same build.

    python3 tests/windows/check_signed.py UNSIGNED SIGNED KEYS

UNSIGNED and SIGNED are folders with the .msi, the .zip and SHA256SUMS, KEYS the folder of
scripts/throwaway-keys.sh. Every signature verifies against the certificate (and not against
another), and the signature is the only difference: each signed program is the unsigned one with
its signature attached, byte for byte, and so is the signed .msi the .msi it came from, which
carries the same tables and the signed programs; every other file is the same bytes.
SHA256SUMS.asc is checked as on Linux.
"""

import glob
import os
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
# pylint: disable=wrong-import-position
from signatures import refused, report, run, same_bytes, sums_checks  # noqa: E402

PROGRAMS = ('.exe',)  # our own; the DLLs are Qt's and mingw's, unsigned as they came


def verified(path, certificate):
    return run('osslsigncode', 'verify', '-CAfile', certificate, '-in', path)


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


def zip_checks(unsigned_zip, signed_zip, certificate, work):
    with zipfile.ZipFile(unsigned_zip) as a, zipfile.ZipFile(signed_zip) as b:
        names = a.namelist()
        yield ('the .zip holds the same files signed as unsigned',
               None if names == b.namelist() else '%s\n%s' % (names, b.namelist()))
        a.extractall(os.path.join(work, 'unsigned'))
        b.extractall(os.path.join(work, 'signed'))
    differing = []
    for name in names:
        first, second = (os.path.join(work, kind, name) for kind in ('unsigned', 'signed'))
        if name.endswith(PROGRAMS):
            yield ('%s: signature verified' % name, verified(second, certificate))
            yield ('%s: the unsigned program with its signature attached' % name,
                   signature_only(second, first, certificate, work))
        elif not same_bytes(first, second):
            differing.append(name)
    yield ('the .zip\'s other files: the same bytes', '; '.join(differing) or None)


def program_row(table, row):
    """The row as the signatures leave it: a program's size and hash left out, and the package
    code, which is derived from the package's bytes."""
    cells = row.split('\t')
    if table == 'File' and len(cells) > 3 and cells[2].endswith(PROGRAMS):
        del cells[3]  # File, Component_, FileName, FileSize, ...
    elif table == 'MsiFileHash' and cells[0].endswith('_exe'):
        cells = cells[:1]  # File_, Options, HashPart1 ... HashPart4
    elif table == '_SummaryInformation' and cells[0] == '9':
        cells = cells[:1]
    return '\t'.join(cells)


def tables(msi, work):
    """The .msi's tables as text, as the signatures leave them."""
    text = []
    os.makedirs(work, exist_ok=True)
    names = subprocess.run(['msiinfo', 'tables', msi], capture_output=True, text=True,
                           check=True).stdout.split()
    for table in sorted(names):
        rows = subprocess.run(['msiinfo', 'export', msi, table], cwd=work, capture_output=True,
                              text=True, check=True).stdout.splitlines()
        text.append('== %s\n%s' % (table, '\n'.join(program_row(table, row) for row in rows)))
    return '\n'.join(text)


def msi_checks(unsigned_msi, signed_msi, certificate, work):
    yield ('%s: signature verified' % os.path.basename(signed_msi),
           verified(signed_msi, certificate))
    yield ('%s: refused against another certificate' % os.path.basename(signed_msi),
           refused('osslsigncode', 'verify', '-CAfile',
                   os.path.join(os.path.dirname(certificate), 'other-cert.pem'), '-in',
                   signed_msi))
    stripped = os.path.join(work, 'stripped.msi')
    error = run('osslsigncode', 'remove-signature', '-in', signed_msi, '-out', stripped)
    yield ('the signed .msi: the .msi it came from with its signature attached',
           error or signature_only(signed_msi, stripped, certificate, work))
    if error:
        return
    # What it installs: the signed .zip's files, every one.
    extracted = os.path.join(work, 'extracted')
    error = run('msiextract', '-C', extracted, stripped)
    differing = []
    signed_zip = os.path.join(work, 'signed', 'dialer-config')
    for root, _, files in os.walk(signed_zip):
        for name in files:
            path = os.path.join(root, name)
            rel = os.path.relpath(path, signed_zip)
            found = glob.glob(os.path.join(extracted, '**', 'dialer-config', rel), recursive=True)
            if not found or not same_bytes(found[0], path):
                differing.append(rel)
    yield ('the signed .msi installs the signed programs and the same files',
           error or '; '.join(differing) or None)
    first, second = tables(unsigned_msi, work + '/t1'), tables(stripped, work + '/t2')
    yield ('the signed .msi\'s tables: the unsigned one\'s, but for the programs\' sizes and '
           'hashes', None if first == second else 'tables differ')


def packages(folder):
    """The .msi and the .zip that the folder's SHA256SUMS names."""
    with open(os.path.join(folder, 'SHA256SUMS'), encoding='utf-8') as sums:
        names = [line.split()[1].lstrip('*') for line in sums if line.strip()]
    return ([n for n in names if n.endswith('.msi')][0],
            [n for n in names if n.endswith('.zip')][0])


def main():
    unsigned, signed, keys = sys.argv[1:4]
    certificate = os.path.join(keys, 'sign-cert.pem')
    msi, archive = packages(unsigned)
    with tempfile.TemporaryDirectory() as work:
        checks = list(zip_checks(os.path.join(unsigned, archive), os.path.join(signed, archive),
                                 certificate, work))
        checks += msi_checks(os.path.join(unsigned, msi), os.path.join(signed, msi), certificate,
                             work)
        checks += sums_checks(signed, keys)
        sys.exit(0 if report('signatures', checks) else 1)


if __name__ == '__main__':
    main()
