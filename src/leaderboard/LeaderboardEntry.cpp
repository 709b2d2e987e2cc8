#include "LeaderboardEntry.h"

#include <QJsonValue>
#include <cmath>

QString LeaderboardEntry::cleanPseudo(const QString& text)
{
    QString out;
    out.reserve(qMin(text.size(), kMaxPseudoLength + 1));
    bool space = false;
    for (const QChar c : text) {
        // Line breaks, tabs and other controls would break the line they are shown on.
        if (c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format) {
            space = !out.isEmpty();
            continue;
        }
        if (space) {
            out += QLatin1Char(' ');
            space = false;
        }
        out += c;
        if (out.size() >= kMaxPseudoLength)
            break;
    }
    // Never leave half of a surrogate pair at the cut.
    if (!out.isEmpty() && out.back().isHighSurrogate())
        out.chop(1);
    return out;
}

std::optional<LeaderboardEntry> LeaderboardEntry::fromRecord(const QJsonObject& record, const QString& myRecordName)
{
    const QJsonValue id = record.value(QLatin1String("_id"));
    if (!id.isString() || id.toString().isEmpty())
        return std::nullopt;
    LeaderboardEntry e;
    e.id = id.toString();
    const QJsonValue pseudo = record.value(QLatin1String("pseudo"));
    e.pseudo = pseudo.isString() ? cleanPseudo(pseudo.toString()) : QString();
    if (e.pseudo.isEmpty())
        e.pseudo = QString::fromLatin1(kAnonymous);
    const QJsonValue mots = record.value(QLatin1String("mots"));
    if (mots.isDouble()) {
        const double v = mots.toDouble();
        if (std::isfinite(v) && v >= 0 && v == std::floor(v) && v < 9.0e15)
            e.words = qint64(v);
    }
    e.isMe = !myRecordName.isEmpty() && e.id == myRecordName;
    return e;
}
