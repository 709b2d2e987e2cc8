#pragma once
// The system speech recogniser on PocketSphinx: one language per acoustic model installed in
// the model folder (<folder>/<lang-region>/ with its model directory, language model and dictionary).
#include "platform/SpeechEngine.h"

#include <QHash>
#include <memory>

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
    // Spare decoders. Shared with every decoder handed out: a live stream finishing on its own
    // thread may give its decoder back after the engine is gone.
    struct Pool;
    struct DecoderDeleter
    {
        std::shared_ptr<Pool> pool;
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

    QString m_folder;
    QHash<QString, Model> m_models; // by lower-case BCP-47 identifier
    std::shared_ptr<Pool> m_pool;
};
