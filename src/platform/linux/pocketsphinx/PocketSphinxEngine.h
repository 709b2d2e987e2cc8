#pragma once
// The system speech recogniser on PocketSphinx: one language per acoustic model installed in
// the model folder (<folder>/<lang-region>/ with its model directory, language model and dictionary).
#include "platform/SpeechEngine.h"

#include <QHash>
#include <QMutex>
#include <vector>

struct ps_decoder_s;

class PocketSphinxEngine : public SpeechEngine
{
public:
    // The distribution's model folder.
    static QString defaultModelFolder();

    explicit PocketSphinxEngine(QString modelFolder = defaultModelFolder());
    ~PocketSphinxEngine() override;

    QStringList supportedLocales() const override;
    Expected<QString, QString> recognize(const QString& locale, std::span<const float> samples) override;
    Expected<std::unique_ptr<SpeechStream>, QString> openStream(const QString& locale) override;

    // A loaded decoder, returned to the engine for reuse when done (loading takes ~0.5 s).
    struct Decoder;
    struct DecoderDeleter
    {
        PocketSphinxEngine* engine;
        void operator()(Decoder* d) const;
    };
    using DecoderHandle = std::unique_ptr<Decoder, DecoderDeleter>;

private:
    struct Model
    {
        QString hmm, lm, dict;
    };
    QHash<QString, Model> scan() const;
    Expected<DecoderHandle, QString> acquire(const QString& locale);
    void release(Decoder* d);

    QString m_folder;
    QHash<QString, Model> m_models; // by lower-case BCP-47 identifier
    QMutex m_mutex;
    std::vector<Decoder*> m_idle;
};
