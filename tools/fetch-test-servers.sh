#!/usr/bin/env bash
# Prepares the FTP and SFTP servers that the real-server tests start on loopback.
#
# vsftpd only logs a real account into a chroot of our choosing (anonymous logins refuse a writable
# root), so this makes the system account skerrowftp (no home, no shell) with a fixed password and a
# PAM service of its own for it; every server stores files as that account. Loopback tests only.
#
# pure-ftpd, proftpd (with mod_tls, from proftpd-mod-crypto) and OpenSSH's sshd (openssh-server)
# are unpacked into tests/integration/servers/root.
# The FTP servers conflict with vsftpd as packages, and installing openssh-server would start and
# enable a system SSH service, so none is installed: `apt-get download` + `dpkg -x`,
# together with any library they need that the system lacks (found through their Depends lines).
# The tests find the binaries there and run them with LD_LIBRARY_PATH pointing into the tree.
# Idempotent: a second run only checks that the binaries still start.
set -euo pipefail
cd "$(dirname "$0")/.."

dest=tests/integration/servers
root=$dest/root
debs=$dest/debs
servers=(pure-ftpd proftpd-core proftpd-mod-crypto openssh-server)
binaries=("$root/usr/sbin/pure-ftpd" "$root/usr/bin/pure-pw" "$root/usr/sbin/proftpd"
          "$root/usr/lib/proftpd/mod_tls.so" "$root/usr/sbin/sshd")
# The unpacked folders that hold shared libraries, kept in $dest/libpath (relative to $dest, one a
# line) for the tests.
libpath=""
absolute_libpath() {
    sed "s|^|$PWD/$dest/|" "$dest/libpath" | paste -sd:
}
[ -f "$dest/libpath" ] && libpath=$(absolute_libpath)

unresolved() {  # prints the libraries a binary cannot find
    LD_LIBRARY_PATH="$libpath" ldd "$1" 2>/dev/null | awk '/not found/ {print $1}'
}

all_ready() {
    for b in "${binaries[@]}"; do
        [ -x "$b" ] || return 1
        [ -z "$(unresolved "$b")" ] || return 1
    done
}

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
account=skerrowftp
password=Skerrow-Test-FTP  # also in tests/integration/FtpTestServer.cpp
pam_service=/etc/pam.d/skerrowex-test-ftp
if ! getent passwd "$account" >/dev/null; then
    $sudo useradd --system --no-create-home --home-dir / --shell /usr/sbin/nologin --user-group \
        --comment "SkerrowEx loopback FTP tests" "$account"
    echo "$account:$password" | $sudo chpasswd
fi
if [ ! -f "$pam_service" ]; then
    printf '# SkerrowEx tests: vsftpd on loopback logs in %s (tools/fetch-test-servers.sh)\n%s\n' \
        "$account" $'@include common-auth\n@include common-account\n@include common-session' |
        $sudo tee "$pam_service" >/dev/null
fi

# sshd drops its privileges to this account, in this empty folder (/run is emptied at boot: the
# tests make the folder again when it is gone).
if ! getent passwd sshd >/dev/null; then
    $sudo useradd --system --no-create-home --home-dir /run/sshd --shell /usr/sbin/nologin sshd
fi
$sudo install -d -m 0755 /run/sshd

if [ -f "$dest/.complete" ] && all_ready; then
    exit 0
fi

download() {  # apt-get download PKG..., refreshing the package lists once if they are stale
    (cd "$debs" && apt-get download -q -o APT::Sandbox::User=root "$@") ||
        { apt-get update -q -o DPkg::Lock::Timeout=600 &&
          (cd "$debs" && apt-get download -q -o APT::Sandbox::User=root "$@"); }
}

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# Library packages named in a .deb's Depends that this system lacks (alternatives: the first).
missing_libs() {
    dpkg-deb -f "$1" Depends | tr ',' '\n' | sed -e 's/|.*//' -e 's/(.*)//' -e 's/ //g' |
        grep -E '^(lib|zlib)' | while read -r p; do installed "$p" || echo "$p"; done
}

rm -rf "$dest"
mkdir -p "$root" "$debs"
download "${servers[@]}"
# Follow library dependencies until every one is either installed or downloaded.
while :; do
    libs=()
    for deb in "$debs"/*.deb; do
        for p in $(missing_libs "$deb"); do
            compgen -G "$debs/${p}_*.deb" >/dev/null || libs+=("$p")
        done
    done
    [ ${#libs[@]} -gt 0 ] || break
    mapfile -t libs < <(printf '%s\n' "${libs[@]}" | sort -u)
    download "${libs[@]}"
done
for deb in "$debs"/*.deb; do
    dpkg -x "$deb" "$root"
done
(cd "$dest" && find root -name 'lib*.so*' -printf '%h\n' | sort -u) >"$dest/libpath"
libpath=$(absolute_libpath)

for b in "${binaries[@]}"; do
    missing=$(unresolved "$b")
    if [ -n "$missing" ]; then
        echo "fetch-test-servers: $b still lacks: $missing" >&2
        exit 1
    fi
done
LD_LIBRARY_PATH="$libpath" "$root/usr/sbin/proftpd" -v >/dev/null
LD_LIBRARY_PATH="$libpath" "$root/usr/sbin/pure-ftpd" --help >/dev/null
LD_LIBRARY_PATH="$libpath" "$root/usr/bin/pure-pw" --help >/dev/null
rm -rf "$debs"
touch "$dest/.complete"
echo "fetch-test-servers: pure-ftpd, proftpd and sshd unpacked into $root"
