#pragma once
// The user's choice of local model for when a cloud provider cannot be reached, stored under
// "mirelo.transcription.fallbackModel"; resolves to Apple Speech unless that model is downloaded.
#include "LocalModelServices.h"
#include "store/Enums.h"

#include <QList>
#include <QString>
#include <QStringList>

class Settings;

namespace FallbackTranscriptionModel {

constexpr const char* kDefaultID = "apple-on-device";

struct Choice
{
    QString modelID;
    QString name;
    bool operator==(const Choice&) const = default;
};

struct Resolved
{
    TranscriptionProvider provider = TranscriptionProvider::apple;
    QString model; // empty for Apple Speech
    QString name;
};

// Apple Speech first, then each downloaded local model.
QList<Choice> choices(const LocalModelServices& models);
Resolved resolve(const QString& storedID, const LocalModelServices& models);
Resolved resolve(const Settings& settings, const LocalModelServices& models);

// The on-device models of whisperKit or parakeet, in catalogue order; empty for other providers.
QStringList localModelIDs(TranscriptionProvider provider);

// "Whisper Base", "Nemotron latin", …; empty for an unknown identifier.
QString localModelName(const QString& modelID);

} // namespace FallbackTranscriptionModel
