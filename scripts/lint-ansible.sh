#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# The Ansible collection's checks that need no network (ansible-test sanity fetches its own
# tools): every module's documentation renders, and Debian's pycodestyle, pylint and yamllint
# find nothing in the collection, its tests and the project's other Python (the hardware lane's
# host side, the benchmarks).
set -eu
cd "$(dirname "$0")/.."
export ANSIBLE_COLLECTIONS_PATH="$PWD/ansible"
collection=ansible/ansible_collections/dialerconfig/dialer
for module in "$collection"/plugins/modules/*.py; do
    name=$(basename "$module" .py)
    ansible-doc "dialerconfig.dialer.$name" >/dev/null
    ansible-doc --json "dialerconfig.dialer.$name" | grep -q '"return"'
done
pycodestyle --max-line-length=100 --ignore=E402,W503 ansible tests/ansible tests/hardware tests/support \
    tests/windows tests/packaging bench/*.py
(cd ansible && PYTHONPATH="$PWD" /usr/bin/python3 -m pylint --rcfile=pylintrc --score=n \
    ansible_collections/dialerconfig/dialer/plugins)
PYTHONPATH=tests/ansible:tests/support /usr/bin/python3 -m pylint --rcfile=ansible/pylintrc --score=n \
    tests/ansible/*.py tests/ansible/callback/*.py tests/hardware/*.py tests/support/*.py \
    tests/windows/*.py tests/packaging/*.py bench/*.py
yamllint -s -d '{extends: default, rules: {line-length: {max: 100}}}' "$collection"
echo "ansible lint: no findings"
