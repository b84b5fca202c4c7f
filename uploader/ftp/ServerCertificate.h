#pragma once

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

// A server's certificate as the user sees and pins it: its SHA-256 fingerprint and the facts
// that let a person judge it.
namespace ServerCertificate {

// The SHA-256 digest of the certificate (32 bytes).
QByteArray Fingerprint(const QSslCertificate& certificate);

// "AB:CD:...", the form `openssl x509 -fingerprint -sha256` prints.
QString FingerprintText(const QByteArray& digest);

// A fingerprint as a user pastes it: 64 hex digits in any letter case, pairs optionally separated
// by colons, optionally after openssl's "sha256 Fingerprint=". Empty when the text is none.
QByteArray ParseFingerprint(const QString& text);

// Subject, issuer, validity and fingerprint, one per line (CR LF), followed by why it does not
// verify when errors are given.
QString Describe(const QSslCertificate& certificate, const QList<QSslError>& errors = {});

}  // namespace ServerCertificate
