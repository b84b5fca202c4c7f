#!/usr/bin/env bash
# Installs what SkerrowEx needs on Debian 12. With --test, also the FTP and SFTP servers and clients
# the tests and benchmarks talk to on loopback.
set -euo pipefail
cd "$(dirname "$0")/.."

apt_opts=(-y -q -o DPkg::Lock::Timeout=600)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# dpkg-dev: dpkg-shlibdeps, which finds the Debian package's library dependencies. libssl-dev:
# the ledger's content digests (OpenSSL's EVP). The build always builds the tests: googletest,
# and Qt's private headers for the test that reads the posted-event queue.
packages=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
          libsqlite3-dev libssl-dev libssh-dev qt6-translations-l10n fonts-ipafont-gothic
          fonts-ipafont-mincho dpkg-dev libgtest-dev qt6-base-private-dev)
if [ "${1:-}" = "--test" ]; then
    # desktop-file-utils, appstream and man-db check the installed desktop entry, metainfo and
    # manual pages; openssl makes the TLS servers' certificate, python3-openssl is pyftpdlib's TLS.
    # openssh-client: ssh-keygen makes the SFTP server's keys, ssh-agent and sftp are peers (the
    # server itself is unpacked by fetch-test-servers.sh).
    packages+=(libgtest-dev googletest vsftpd python3-pyftpdlib python3-openssl openssl curl lftp
               openssh-client xvfb xauth desktop-file-utils appstream man-db)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    $sudo apt-get update -q -o DPkg::Lock::Timeout=600
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install "${apt_opts[@]}" "${missing[@]}"
fi

if [ "${1:-}" = "--test" ] && [ -x tools/fetch-test-servers.sh ]; then
    tools/fetch-test-servers.sh
fi
