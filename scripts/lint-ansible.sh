#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# The Ansible collection's checks that need no network (ansible-test sanity fetches its own
# tools): every module's documentation renders, pylint finds nothing with ansible-test's own
# configuration and checkers for collections (from Debian's ansible-core), ansible-lint passes it
# with the production profile, the sample playbook parses, the changelog has the collection's
# version, and Debian's pycodestyle, pylint and yamllint find nothing in the collection, its tests
# and the project's other Python (the hardware lane's host side, the benchmarks).
set -eu
cd "$(dirname "$0")/.."
export ANSIBLE_COLLECTIONS_PATH="$PWD/ansible"
collection=ansible/ansible_collections/dialerconfig/dialer
for module in "$collection"/plugins/modules/*.py; do
    name=$(basename "$module" .py)
    ansible-doc "dialerconfig.dialer.$name" >/dev/null
    ansible-doc --json "dialerconfig.dialer.$name" | grep -q '"return"'
done
version=$(sed -n 's/^version: *//p' "$collection/galaxy.yml")

# pylint as ansible-test sanity runs it on a collection: its collection.cfg, its checkers
# (deprecated, string_format, unwanted) and its options, from the collection's root.
sanity=$(/usr/bin/python3 -c 'import ansible_test, os; print(os.path.dirname(ansible_test.__file__))')
sanity="$sanity/_util/controller/sanity/pylint"
(cd "$collection" && ANSIBLE_TEST_MODULES_PATH="$PWD/plugins/modules/" \
    ANSIBLE_TEST_MODULE_UTILS_PATH="$PWD/plugins/module_utils/" \
    PYTHONPATH="$PWD/../../..:$sanity/plugins" /usr/bin/python3 -m pylint --jobs 1 --reports n \
    --max-line-length 160 --max-complexity 20 --rcfile "$sanity/config/collection.cfg" \
    --load-plugins deprecated,pylint.extensions.mccabe,string_format,unwanted \
    --collection-name dialerconfig.dialer --collection-version "$version" --score=n \
    --recursive=y plugins tests)

# ansible-lint with the production profile, as Galaxy's importer judges a collection (offline: it
# installs nothing). Quiet when it passes: it warns that it cannot resolve the collection's own
# modules for its FQCN rule, which the syntax check below resolves.
if ! linted=$(cd "$collection" && ansible-lint --offline --profile production --nocolor 2>&1); then
    echo "$linted" >&2
    exit 1
fi

# (Quiet when it passes: Ansible warns of a playbook inside a collection.)
if ! parsed=$(ansible-playbook --syntax-check -i "$collection/examples/inventory.yml" \
    "$collection/examples/site.yml" 2>&1); then
    echo "$parsed" >&2
    exit 1
fi
/usr/bin/python3 - "$collection/changelogs/changelog.yaml" "$version" <<'PYTHON'
import sys
import yaml
with open(sys.argv[1], encoding='utf-8') as changelog:
    releases = yaml.safe_load(changelog)['releases']
if sys.argv[2] not in releases:
    sys.exit('%s: no release %s, the version in galaxy.yml' % (sys.argv[1], sys.argv[2]))
PYTHON

pycodestyle --max-line-length=100 --ignore=E402,W503 ansible tests/ansible tests/hardware tests/support \
    tests/windows tests/packaging bench/*.py
(cd ansible && PYTHONPATH="$PWD" /usr/bin/python3 -m pylint --rcfile=pylintrc --score=n \
    --recursive=y ansible_collections/dialerconfig/dialer)
PYTHONPATH=tests/ansible:tests/support /usr/bin/python3 -m pylint --rcfile=ansible/pylintrc --score=n \
    tests/ansible/*.py tests/ansible/callback/*.py tests/hardware/*.py tests/support/*.py \
    tests/windows/*.py tests/packaging/*.py bench/*.py
yamllint -s -d '{extends: default, rules: {line-length: {max: 100}}}' "$collection"
echo "ansible lint: no findings"
