#pragma once
// Provider "apple": transcribes a recorded file with the desktop's own speech recogniser,
// without a key and without a model download of ours.
#include "transcription/SystemRecognizer.h"

class SpeechEngine;

class AppleSpeechManager : public SystemRecognizer
{
public:
    explicit AppleSpeechManager(SpeechEngine& engine);

    // "auto" stands for the user's locale; a bare language ("en") takes that language's model.
    QCoro::Task<Expected<QString, AppleSpeechError>> transcribe(QString file, QString localeIdentifier) override;

    // The installed identifier matching localeIdentifier, empty when there is none.
    QString resolveLocale(const QString& localeIdentifier) const;

private:
    SpeechEngine& m_engine;
};
