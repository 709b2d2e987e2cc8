#pragma once
// The message format spoken with the user's phone: length-prefixed JSON frames, the message
// and its encrypted payloads, the pairing key and the pairing code.
#include "store/Expected.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

enum class HelperError { badFrame, frameTooLarge, badPayload };

namespace HelperMessageType {
inline constexpr QLatin1String ping("ping");
inline constexpr QLatin1String pair("pair");
inline constexpr QLatin1String push("push");
inline constexpr QLatin1String unpair("unpair");
inline constexpr QLatin1String pong("pong");
inline constexpr QLatin1String pairOK("pairOK");
inline constexpr QLatin1String ok("ok");
inline constexpr QLatin1String error("error");
} // namespace HelperMessageType

namespace HelperReason {
inline constexpr QLatin1String unknownType("unknownType");
inline constexpr QLatin1String notPairing("notPairing");
inline constexpr QLatin1String badCode("badCode");
inline constexpr QLatin1String unpaired("unpaired");
inline constexpr QLatin1String badPayload("badPayload");
inline constexpr QLatin1String stale("stale");
} // namespace HelperReason

struct Message
{
    QString type;
    std::optional<QString> deviceID;
    std::optional<QString> deviceName;
    std::optional<QString> deviceType;
    std::optional<QByteArray> nonce;
    std::optional<QByteArray> payload;
    std::optional<QString> helperID;
    std::optional<QString> helperName;
    std::optional<bool> paired;
    std::optional<QString> reason;

    static Message error(QLatin1String reason);

    QByteArray toJson() const;
    // Fails on anything but a JSON object with a string "type" whose present keys have their
    // types (null counts as absent) and whose bytes are valid Base64.
    static Expected<Message, HelperError> fromJson(const QByteArray& json);
    bool operator==(const Message&) const = default;
};

struct PairPayload
{
    QByteArray secret;
    qint64 sentAt = 0;
    QByteArray toJson() const;
    static std::optional<PairPayload> fromJson(const QByteArray& json);
};

struct PushPayload
{
    QString text;
    qint64 sentAt = 0;
    QString deviceName;
    QByteArray toJson() const;
    static std::optional<PushPayload> fromJson(const QByteArray& json);
};

struct UnpairPayload
{
    qint64 sentAt = 0;
    QByteArray toJson() const;
    static std::optional<UnpairPayload> fromJson(const QByteArray& json);
};

namespace HelperProtocol {
inline constexpr quint32 kMaxFrameLength = 1048576;
inline constexpr int kKeyIterations = 600000;
inline constexpr int kKeyLength = 32;
inline constexpr int kNonceLength = 12;
inline constexpr int kTagLength = 16;
inline constexpr qint64 kStaleSeconds = 46;
inline constexpr const char* kKeySalt = "LinkPairLabel-v03";

Expected<QByteArray, HelperError> encodeFrame(const Message& message);
// Takes the first complete frame out of buffer. Nothing (buffer untouched) while more bytes
// are needed; after an error the buffer is no longer usable.
Expected<std::optional<Message>, HelperError> decodeFrame(QByteArray& buffer);

// PBKDF2-HMAC-SHA-256 of the code with the label and deviceID as salt (about 0.3 s).
QByteArray deriveKey(const QString& code, const QString& deviceID, int iterations = kKeyIterations);

// AES-GCM (256-bit for the pairing key; a phone's secret may also be 128 or 192-bit) with
// deviceID as additional data; result = ciphertext followed by the tag.
// Empty when the key or nonce has the wrong size.
QByteArray seal(const QByteArray& plaintext, const QByteArray& key, const QByteArray& nonce,
                const QString& deviceID);
// badPayload when the payload is shorter than the tag, the sizes are wrong or the tag fails.
Expected<QByteArray, HelperError> open(const QByteArray& payload, const QByteArray& key,
                                       const QByteArray& nonce, const QString& deviceID);

// Bytes from the system's secure random generator; empty when it fails.
QByteArray randomBytes(int count);
// One digit from a 64-bit random value, nothing when the value must be drawn again (no bias).
std::optional<int> pairingDigit(quint64 random);
// Six decimal digits; nothing when the random generator fails.
std::optional<QString> generatePairingCode();

// sentAt is fresh when it lies less than 46 seconds from now, either way.
bool isFresh(qint64 sentAt, const QDateTime& now);
// A key a phone may choose as its secret.
bool isValidSecret(const QByteArray& secret);
} // namespace HelperProtocol
