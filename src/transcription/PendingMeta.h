#pragma once
// What the offline queue keeps next to each recording: the mode's settings at the time of the
// dictation, as one JSON document named after the item.
#include <QByteArray>
#include <QString>
#include <QUuid>
#include <optional>

struct PendingMeta
{
    QUuid id;
    QString audioFile; // file name inside the queue folder
    std::optional<QUuid> transcriptionID;
    QString modeName;
    QString provider;
    QString model;
    QString language = QStringLiteral("auto");
    bool enableAI = false;
    QString aiProvider;
    QString aiModel;
    QString prompt;
    double duration = 0;
    double createdAt = 0; // seconds since 1970-01-01 UTC

    QByteArray encode() const;
    // Nothing unless every key is present with its type and the file name stays inside the folder.
    static std::optional<PendingMeta> decode(const QByteArray& bytes);
    // How the journal names the item.
    QString description() const;
};
