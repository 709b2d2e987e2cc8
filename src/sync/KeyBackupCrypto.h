#pragma once
// The key backup's cryptography: HKDF-SHA-256 keys from the password, AES-256-GCM in its
// combined form (12-byte nonce, ciphertext, 16-byte tag). Other devices read what this writes.
#include <QByteArray>
#include <optional>

namespace KeyBackupCrypto {
constexpr int kSaltBytes = 32;
constexpr int kKeyBytes = 32;
constexpr int kNonceBytes = 12;
constexpr int kTagBytes = 16;
constexpr const char* kEncryptionInfo = "mirelo.backup.encryption";
constexpr const char* kVerifierInfo = "mirelo.backup.verifier";

// Nothing only when the system's generator fails.
std::optional<QByteArray> randomBytes(int count);
std::optional<QByteArray> hkdfSha256(const QByteArray& password, const QByteArray& salt, const QByteArray& info,
                                     int length = kKeyBytes);
std::optional<QByteArray> encryptionKey(const QByteArray& password, const QByteArray& salt);
std::optional<QByteArray> verifier(const QByteArray& password, const QByteArray& salt);
// Combined form with a fresh random nonce.
std::optional<QByteArray> seal(const QByteArray& plaintext, const QByteArray& key);
// Nothing when the tag does not match or the data is too short.
std::optional<QByteArray> open(const QByteArray& combined, const QByteArray& key);
// Constant time, so the verifier check leaks nothing through its timing.
bool equal(const QByteArray& a, const QByteArray& b);
} // namespace KeyBackupCrypto
