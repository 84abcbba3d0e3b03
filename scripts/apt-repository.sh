#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Makes or updates a signed apt repository from built packages, for site PCs to take
# dialer-config from as they take every other package: a web server serves the folder as it is.
#
#   DIALER_GPG_KEY=FINGERPRINT scripts/apt-repository.sh REPOSITORY [DEB...]
#
# The packages go into REPOSITORY/pool/main/<letter>/<name>/<name>_<version>_<arch>.deb beside
# those already there (a site PC may then go back to an older version). A package of a version
# already served is taken again only when it is the same file: a different one is refused, naming
# both, and nothing changes. apt would take the two for one, so a site PC that installed one would
# never get the other, and a download would fail its index's hash.
#
# The indexes are made anew with apt-ftparchive in a staging folder: Packages(.gz), and Release
# (SHA256 only), signed with the key (gpg's usual keyring, GNUPGHOME) as InRelease and
# Release.gpg. They reach dists/stable/ by renames, so a reader never meets a half-written file,
# and each before what names it: the indexes under their hash first (Release says
# Acquire-By-Hash, so apt asks for main/binary-amd64/by-hash/SHA256/<hash>, a name whose content
# never changes), then by name, then Release and Release.gpg, and InRelease last. An apt that read
# the previous InRelease still finds the indexes it names. The by-hash copies stay (a few
# kilobytes each). Without packages, the indexes are signed again as they are.
#
# Release carries no Valid-Until: see the README. One publish runs at a time (a lock in the
# folder). The key's public half goes beside as dialer-config-archive-keyring.gpg, as apt's
# signed-by takes it; site PCs should get it through their own configuration (see the README),
# not from the server it vouches for.
set -eu
if [ $# -lt 1 ] || [ -z "${DIALER_GPG_KEY:-}" ]; then
    echo "usage: DIALER_GPG_KEY=FINGERPRINT scripts/apt-repository.sh REPOSITORY [DEB...]" >&2
    exit 2
fi
repository=$1
shift
# Everything here is for every reader (the web server's user, apt's _apt), whatever the caller's
# umask.
umask 022
dist="$repository/dists/stable"
mkdir -p "$repository/pool" "$dist/main/binary-amd64/by-hash/SHA256"
exec 9>>"$repository/.publish.lock"
if ! flock -n 9; then
    echo "$repository: another publish is under way; nothing was published" >&2
    exit 1
fi
stage=$(mktemp -d "$repository/.staging.XXXXXX")
trap 'rm -rf "$stage"' EXIT

# A package's name, version and architecture: one package of a repository.
identity() {
    # shellcheck disable=SC2016 # dpkg-deb's own fields, not the shell's
    dpkg-deb --show --showformat='${Package} ${Version} ${Architecture}' "$1"
}

# Where a package goes in the pool. (Debian's pool names leave out the epoch.)
pool_path() {
    id=$(identity "$1")
    package=${id%% *}
    version=${id#* }
    version=${version%% *}
    case "$package" in
    lib?*) letter=$(printf '%s' "$package" | cut -c1-4) ;;
    *) letter=$(printf '%s' "$package" | cut -c1) ;;
    esac
    printf '%s\n' "$repository/pool/main/$letter/$package/${package}_${version#*:}_${id##* }.deb"
}

# Every package given must be new, or the very file already served (or given before it), and
# take a pool name no other file holds (1:2.0.0 and 2.0.0 share one).
find "$repository/pool" -name '*.deb' -type f >"$stage/served"
: >"$stage/named"
tab=$(printf '\t')
for deb; do
    id=$(identity "$deb")
    while IFS= read -r other; do
        if [ "$(identity "$other")" = "$id" ] && ! cmp -s "$deb" "$other"; then
            echo "$deb is $id, but $other is another package of that version, already" \
                "served or given: a changed build takes a new version. Nothing was published." >&2
            exit 1
        fi
    done <"$stage/served"
    target=$(pool_path "$deb")
    while IFS="$tab" read -r named given; do
        if [ "$named" = "$target" ] && ! cmp -s "$deb" "$given"; then
            echo "$deb is $id, but $given is another package under its pool name," \
                "$target. Nothing was published." >&2
            exit 1
        fi
    done <"$stage/named"
    if [ -f "$target" ] && ! cmp -s "$deb" "$target"; then
        echo "$deb is $id, but $target, another package, already has its pool name." \
            "Nothing was published." >&2
        exit 1
    fi
    printf '%s\n' "$deb" >>"$stage/served"
    printf '%s\t%s\n' "$target" "$deb" >>"$stage/named"
done

# A file into its place by a rename, from a copy beside it that no index names.
place() {
    cp "$1" "$2.tmp"
    mv "$2.tmp" "$2"
}

for deb; do
    target=$(pool_path "$deb")
    mkdir -p "$(dirname "$target")"
    [ -f "$target" ] || place "$deb" "$target"
done

indexes="$stage/tree/main/binary-amd64"
mkdir -p "$indexes"
(cd "$repository" && apt-ftparchive packages pool) >"$indexes/Packages"
gzip -9n -c "$indexes/Packages" >"$indexes/Packages.gz"
(cd "$stage/tree" && apt-ftparchive -o APT::FTPArchive::Release::Origin=dialer-config \
    -o APT::FTPArchive::Release::Label=dialer-config \
    -o APT::FTPArchive::Release::Suite=stable -o APT::FTPArchive::Release::Codename=stable \
    -o APT::FTPArchive::Release::Architectures=amd64 \
    -o APT::FTPArchive::Release::Components=main \
    -o APT::FTPArchive::Release::Acquire-By-Hash=yes \
    -o APT::FTPArchive::Release::MD5=false -o APT::FTPArchive::Release::SHA1=false \
    -o APT::FTPArchive::Release::SHA512=false \
    -o "APT::FTPArchive::Release::Description=dialer-config for site PCs" release .) \
    >"$stage/Release"
gpg --batch --yes --local-user "$DIALER_GPG_KEY" --clearsign --output "$stage/InRelease" \
    "$stage/Release"
gpg --batch --yes --local-user "$DIALER_GPG_KEY" --armor --detach-sign \
    --output "$stage/Release.gpg" "$stage/Release"
gpg --batch --yes --export "$DIALER_GPG_KEY" >"$stage/keyring.gpg"

for index in Packages Packages.gz; do
    hash=$(sha256sum "$indexes/$index" | cut -d' ' -f1)
    [ -f "$dist/main/binary-amd64/by-hash/SHA256/$hash" ] ||
        place "$indexes/$index" "$dist/main/binary-amd64/by-hash/SHA256/$hash"
done
for index in Packages Packages.gz; do
    mv "$indexes/$index" "$dist/main/binary-amd64/$index"
done
mv "$stage/keyring.gpg" "$repository/dialer-config-archive-keyring.gpg"
mv "$stage/Release" "$dist/Release"
mv "$stage/Release.gpg" "$dist/Release.gpg"
mv "$stage/InRelease" "$dist/InRelease"
echo "$repository: $(grep -c '^Package:' "$dist/main/binary-amd64/Packages") packages, signed by $DIALER_GPG_KEY"
