#!/bin/sh

# SPDX-FileCopyrightText: 2026 dialer-config developers
#
# SPDX-License-Identifier: MIT

# Makes a signed apt repository from built packages, for site PCs to take dialer-config from as
# they take every other package: a web server serves the folder as it is.
#
#   DIALER_GPG_KEY=FINGERPRINT scripts/apt-repository.sh REPOSITORY DEB...
#
# The packages go into REPOSITORY/pool beside those already there (a site PC may then go back to
# an older version), and the indexes are made anew with apt-ftparchive:
# dists/stable/main/binary-amd64/Packages(.gz), dists/stable/Release, signed with the key (gpg's
# usual keyring, GNUPGHOME) as InRelease and Release.gpg. The key's public half goes beside as
# dialer-config-archive-keyring.gpg, as apt's signed-by takes it; site PCs should get it through
# their own configuration (see the README), not from the server it vouches for.
set -eu
if [ $# -lt 2 ] || [ -z "${DIALER_GPG_KEY:-}" ]; then
    echo "usage: DIALER_GPG_KEY=FINGERPRINT scripts/apt-repository.sh REPOSITORY DEB..." >&2
    exit 2
fi
repository=$1
shift
pool="$repository/pool/main/d/dialer-config"
dist="$repository/dists/stable"
mkdir -p "$pool" "$dist/main/binary-amd64"
for deb; do
    cp "$deb" "$pool/"
done

(cd "$repository" && apt-ftparchive packages pool >dists/stable/main/binary-amd64/Packages)
gzip -9n -c "$dist/main/binary-amd64/Packages" >"$dist/main/binary-amd64/Packages.gz"
rm -f "$dist/Release" "$dist/InRelease" "$dist/Release.gpg"
(cd "$dist" && apt-ftparchive -o APT::FTPArchive::Release::Origin=dialer-config \
    -o APT::FTPArchive::Release::Label=dialer-config \
    -o APT::FTPArchive::Release::Suite=stable -o APT::FTPArchive::Release::Codename=stable \
    -o APT::FTPArchive::Release::Architectures=amd64 \
    -o APT::FTPArchive::Release::Components=main \
    -o "APT::FTPArchive::Release::Description=dialer-config for site PCs" release . >Release.new)
mv "$dist/Release.new" "$dist/Release"
gpg --batch --yes --local-user "$DIALER_GPG_KEY" --clearsign --output "$dist/InRelease" \
    "$dist/Release"
gpg --batch --yes --local-user "$DIALER_GPG_KEY" --armor --detach-sign --output "$dist/Release.gpg" \
    "$dist/Release"
gpg --batch --yes --export "$DIALER_GPG_KEY" >"$repository/dialer-config-archive-keyring.gpg"
echo "$repository: $(grep -c '^Package:' "$dist/main/binary-amd64/Packages") packages, signed by $DIALER_GPG_KEY"
