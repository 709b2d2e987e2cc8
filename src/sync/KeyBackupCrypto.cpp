#include "KeyBackupCrypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/rand.h>
#include <memory>

namespace KeyBackupCrypto {

namespace {
struct CtxFree
{
    void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
const unsigned char* bytes(const QByteArray& a) { return reinterpret_cast<const unsigned char*>(a.constData()); }
unsigned char* bytes(QByteArray& a) { return reinterpret_cast<unsigned char*>(a.data()); }
} // namespace

std::optional<QByteArray> randomBytes(int count)
{
    QByteArray out(count, Qt::Uninitialized);
    if (RAND_bytes(bytes(out), count) != 1)
        return std::nullopt;
    return out;
}

std::optional<QByteArray> hkdfSha256(const QByteArray& password, const QByteArray& salt, const QByteArray& info,
                                     int length)
{
    std::unique_ptr<EVP_PKEY_CTX, CtxFree> ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_HKDF, nullptr));
    if (!ctx || EVP_PKEY_derive_init(ctx.get()) <= 0 || EVP_PKEY_CTX_set_hkdf_md(ctx.get(), EVP_sha256()) <= 0 ||
        EVP_PKEY_CTX_set1_hkdf_salt(ctx.get(), bytes(salt), int(salt.size())) <= 0 ||
        EVP_PKEY_CTX_set1_hkdf_key(ctx.get(), bytes(password), int(password.size())) <= 0 ||
        EVP_PKEY_CTX_add1_hkdf_info(ctx.get(), bytes(info), int(info.size())) <= 0)
        return std::nullopt;
    QByteArray out(length, Qt::Uninitialized);
    size_t outLength = size_t(length);
    if (EVP_PKEY_derive(ctx.get(), bytes(out), &outLength) <= 0 || outLength != size_t(length))
        return std::nullopt;
    return out;
}

std::optional<QByteArray> encryptionKey(const QByteArray& password, const QByteArray& salt)
{
    return hkdfSha256(password, salt, QByteArray(kEncryptionInfo));
}

std::optional<QByteArray> verifier(const QByteArray& password, const QByteArray& salt)
{
    return hkdfSha256(password, salt, QByteArray(kVerifierInfo));
}

std::optional<QByteArray> seal(const QByteArray& plaintext, const QByteArray& key)
{
    if (key.size() != kKeyBytes)
        return std::nullopt;
    const auto nonce = randomBytes(kNonceBytes);
    std::unique_ptr<EVP_CIPHER_CTX, CtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!nonce || !ctx)
        return std::nullopt;
    QByteArray out = *nonce;
    out.resize(kNonceBytes + plaintext.size() + kTagBytes);
    unsigned char* cipher = bytes(out) + kNonceBytes;
    int written = 0;
    int final = 0;
    if (EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, kNonceBytes, nullptr) != 1 ||
        EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, bytes(key), bytes(*nonce)) != 1 ||
        EVP_EncryptUpdate(ctx.get(), cipher, &written, bytes(plaintext), int(plaintext.size())) != 1 ||
        EVP_EncryptFinal_ex(ctx.get(), cipher + written, &final) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, kTagBytes, cipher + written + final) != 1)
        return std::nullopt;
    return out;
}

std::optional<QByteArray> open(const QByteArray& combined, const QByteArray& key)
{
    if (key.size() != kKeyBytes || combined.size() < kNonceBytes + kTagBytes)
        return std::nullopt;
    std::unique_ptr<EVP_CIPHER_CTX, CtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx)
        return std::nullopt;
    const qsizetype cipherLength = combined.size() - kNonceBytes - kTagBytes;
    QByteArray tag = combined.right(kTagBytes);
    QByteArray out(cipherLength, Qt::Uninitialized);
    int written = 0;
    int final = 0;
    if (EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, kNonceBytes, nullptr) != 1 ||
        EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, bytes(key), bytes(combined)) != 1 ||
        EVP_DecryptUpdate(ctx.get(), bytes(out), &written, bytes(combined) + kNonceBytes, int(cipherLength)) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, kTagBytes, bytes(tag)) != 1 ||
        EVP_DecryptFinal_ex(ctx.get(), bytes(out) + written, &final) != 1)
        return std::nullopt;
    out.truncate(written + final);
    return out;
}

bool equal(const QByteArray& a, const QByteArray& b)
{
    return a.size() == b.size() && CRYPTO_memcmp(a.constData(), b.constData(), size_t(a.size())) == 0;
}

} // namespace KeyBackupCrypto
