# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# shellcheck shell=sh

# Sourced by the scripts that make packages, from the project's root: what makes two builds of one
# source the same bytes.
#
# SOURCE_DATE_EPOCH, unless given: the last commit's time, or without a repository the changelog's
# latest date. Every time a package holds is this one.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null ||
        dpkg-parsechangelog -l packaging/changelog -STimestamp)
fi
export SOURCE_DATE_EPOCH

# Runs a tool that reads the clock (wixl, msibuild, ansible-galaxy) with the clock stopped at
# SOURCE_DATE_EPOCH.
at_source_date() {
    TZ=UTC faketime -f "$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')" "$@"
}

# Gives every file and folder under a folder the time SOURCE_DATE_EPOCH.
touch_to_source_date() {
    find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# Copies the sources as they stand (tracked and new files) into a folder, with times of their
# own, as another clone would have them.
copy_sources() {
    mkdir -p "$1"
    git ls-files -z --cached --others --exclude-standard |
        tar --null --ignore-failed-read -T - -cf - | tar -C "$1" -xmf -
}
