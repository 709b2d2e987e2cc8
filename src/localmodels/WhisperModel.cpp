#include "WhisperModel.h"

const QList<WhisperModel>& WhisperModel::catalogue()
{
    static const QList<WhisperModel> rows{
        {QStringLiteral("openai_whisper-tiny"), QStringLiteral("Tiny"), 75, true,
         QStringLiteral("Le plus petit et le plus rapide. Précision faible — surtout pour tester."),
         QStringLiteral("ggml-tiny.bin")},
        {QStringLiteral("openai_whisper-base"), QStringLiteral("Base"), 145, true,
         QStringLiteral("Léger, bon compromis taille/vitesse. Idéal pour commencer."), QStringLiteral("ggml-base.bin")},
        {QStringLiteral("openai_whisper-small"), QStringLiteral("Small"), 470, true,
         QStringLiteral("Nettement plus précis, un peu plus lourd et plus lent."), QStringLiteral("ggml-small.bin")},
        {QStringLiteral("openai_whisper-large-v3-v20240930_626MB"), QStringLiteral("Large v3 Turbo (compressé)"), 626,
         true, QStringLiteral("Recommandé sur iOS : précision maximale, compressé pour l'appareil."),
         QStringLiteral("ggml-large-v3-turbo-q5_0.bin")},
        {QStringLiteral("openai_whisper-large-v3"), QStringLiteral("Large v3"), 1550, true,
         QStringLiteral("Le plus précis de tous — mais volumineux et plus lent."), QStringLiteral("ggml-large-v3.bin")},
    };
    return rows;
}

QString WhisperModel::normalizedVariant(const QString& variant)
{
    if (variant.startsWith(QLatin1String("openai_whisper")) || variant.startsWith(QLatin1String("distil")))
        return variant;
    return QStringLiteral("openai_whisper-base");
}

const WhisperModel* WhisperModel::find(const QString& variant)
{
    const QString wanted = normalizedVariant(variant);
    for (const WhisperModel& row : catalogue())
        if (row.variant == wanted)
            return &row;
    return nullptr;
}
