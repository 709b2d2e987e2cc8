#include "ImportSummary.h"

#include <QStringList>

QString summaryText(const ImportSummary& s)
{
    if (s.total() < 1)
        return QStringLiteral("Rien à importer — tout était déjà présent (aucun doublon créé).");
    struct Piece
    {
        int count;
        const char* one;
        const char* many;
    };
    const Piece pieces[] = {
        {s.prompts, "prompt", "prompts"},
        {s.modes, "mode", "modes"},
        {s.notes, "note", "notes"},
        {s.dictionary, "entrée de dictionnaire", "entrées de dictionnaire"},
        {s.transcriptions, "transcription", "transcriptions"},
        {s.suggestions, "suggestion", "suggestions"},
        {s.usage, "enregistrement d'usage", "enregistrements d'usage"},
    };
    QStringList parts;
    for (const Piece& p : pieces)
        if (p.count != 0)
            parts << QStringLiteral("%1 %2").arg(p.count).arg(QString::fromUtf8(p.count == 1 ? p.one : p.many));
    return QStringLiteral("Importé : ") + parts.join(QStringLiteral(", ")) + QLatin1Char('.');
}
