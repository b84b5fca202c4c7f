#pragma once

#include <QByteArray>
#include <QString>

// An SSH server's host key as the user sees and pins it: the SHA-256 digest of the key, written
// as `ssh-keygen -l` and OpenSSH's own messages write it.
namespace HostKeyFingerprint {

// The digest (32 bytes) of a key's bytes as the server sends them.
QByteArray Of(const QByteArray& key);

// "SHA256:" and the digest in base64 without its padding.
QString Text(const QByteArray& digest);

// A fingerprint as a user pastes it: "SHA256:" and 43 base64 characters, or a whole line of
// `ssh-keygen -l` that holds one. Empty when the text holds none.
QByteArray Parse(const QString& text);

}  // namespace HostKeyFingerprint
