#pragma once
// The content of the sync file: the full record set with the write counter and the writer.
#include "BackupPayload.h"

struct SyncEnvelope
{
    static constexpr int kSchema = 1;
    static constexpr const char* kFileName = "ovra-data.json";

    int schema = kSchema;
    qint64 version = 0;
    QString deviceID;
    QDateTime updatedAt;
    BackupPayload data;
};

struct EnvelopeError
{
    QString message;
    // A file written by a newer program: readable by it, so never to be replaced by us.
    bool newerSchema = false;
};

QByteArray encodeEnvelope(const SyncEnvelope& envelope);
Expected<SyncEnvelope, EnvelopeError> decodeEnvelope(const QByteArray& bytes);

// SHA-256 (64 lower-case hex digits) of the payload's canonical encoding: records in id order,
// without the export time and the statistics, which change with every build of the payload
// while the records stay the same. Equal records on two devices give the same digest.
QString payloadDigest(const BackupPayload& payload);
// The records the payload carries, every kind counted.
qint64 recordCount(const BackupPayload& payload);
