#include "RecorderHUDContent.h"

namespace RecorderHUDContent {

QString stopHelp() { return QStringLiteral("Arrêter et transcrire (Échap pour annuler)"); }
QString modeMenuHelp() { return QStringLiteral("Changer de mode (résolu à l'arrêt de la dictée)"); }

QList<RecorderHUDItem> items(RecordingState state)
{
    using K = RecorderHUDItem::Kind;
    switch (state) {
    case RecordingState::recording:
        return {{K::wave, QStringLiteral("Niveau du micro"), {}, {}, false},
                {K::stopButton, QStringLiteral("Arrêter"), stopHelp(), QStringLiteral("media-playback-stop"), false},
                {K::modeMenu, QStringLiteral("Mode"), modeMenuHelp(), {}, false},
                {K::settingsButton, QStringLiteral("Ouvrir les réglages"), QStringLiteral("Ouvrir les réglages"),
                 QStringLiteral("preferences-system"), false}};
    case RecordingState::transcribing:
        return {{K::text, QStringLiteral("Transcription…"), {}, {}, false}};
    case RecordingState::enhancing:
        return {{K::text, QStringLiteral("Amélioration IA…"), {}, {}, false}};
    case RecordingState::finished:
        return {{K::text, QStringLiteral("Collé !"), {}, QStringLiteral("emblem-ok"), false}};
    case RecordingState::idle:
        break;
    }
    return {{K::text, QStringLiteral("Ovra"), {}, {}, true}};
}

} // namespace RecorderHUDContent
