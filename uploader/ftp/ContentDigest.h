#pragma once

#include <openssl/types.h>

#include <QString>

// The SHA-256 digest of bytes as they go by, through OpenSSL's EVP interface: a file's content
// is hashed from the same reads that send it.
class ContentDigest {
public:
    ContentDigest();
    ~ContentDigest();
    ContentDigest(const ContentDigest&) = delete;
    ContentDigest& operator=(const ContentDigest&) = delete;

    // Starts again with no bytes.
    void Reset();
    void Add(const char* data, qint64 size);
    // The digest of every byte added since the reset, as 64 lower-case hex digits; "" when
    // OpenSSL failed. Ends the digest: Reset before adding again.
    QString Hex();

private:
    EVP_MD_CTX* ctx_;
    bool ok_ = false;
};
