#pragma once
// The on-device speech services as the transcription manager sees them: the WhisperKit
// service and the four NVIDIA services (Parakeet TDT v3, Parakeet Unified, Nemotron English,
// Nemotron multilingual).
#include "store/Expected.h"

#include <QCoroTask>
#include <QString>
#include <optional>

enum class LocalEngine { whisperKit, parakeetTDT, parakeetUnified, nemotronEnglish, nemotronMultilingual };

struct LocalModelError
{
    QString message;
    bool cancelled = false;
};

class LocalModelServices
{
public:
    virtual ~LocalModelServices() = default;
    // The model's files are present and complete.
    virtual bool isDownloaded(const QString& modelID) const = 0;
    // chunkMs: Nemotron multilingual only.
    virtual QCoro::Task<Expected<QString, LocalModelError>> transcribe(LocalEngine engine, QString file, QString modelID,
                                                                      QString language, std::optional<int> chunkMs) = 0;
    // Runs the integrity check of a model that just failed (a broken one is deleted so that it
    // is downloaded again). Not awaited.
    virtual void checkIntegrity(LocalEngine engine, QString modelID, std::optional<int> chunkMs) = 0;
};

// What runs when this machine has no on-device engine: no model is ever downloaded.
class UnavailableLocalModels : public LocalModelServices
{
public:
    bool isDownloaded(const QString&) const override { return false; }
    QCoro::Task<Expected<QString, LocalModelError>> transcribe(LocalEngine, QString, QString, QString,
                                                              std::optional<int>) override
    {
        co_return unexpected(LocalModelError{QStringLiteral("Ce modèle local n’est pas disponible sur cette machine.")});
    }
    void checkIntegrity(LocalEngine, QString, std::optional<int>) override {}
};
