#include "ContentDigest.h"

#include <openssl/evp.h>

#include <QByteArray>

ContentDigest::ContentDigest() : ctx_(EVP_MD_CTX_new()) {
    Reset();
}

ContentDigest::~ContentDigest() {
    EVP_MD_CTX_free(ctx_);
}

void ContentDigest::Reset() {
    ok_ = ctx_ && EVP_DigestInit_ex(ctx_, EVP_sha256(), nullptr) == 1;
}

void ContentDigest::Add(const char* data, qint64 size) {
    ok_ = ok_ && EVP_DigestUpdate(ctx_, data, static_cast<size_t>(size)) == 1;
}

QString ContentDigest::Hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    ok_ = ok_ && EVP_DigestFinal_ex(ctx_, digest, &length) == 1;
    if (!ok_)
        return QString();
    ok_ = false;
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length)).toHex());
}
