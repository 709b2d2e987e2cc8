#pragma once
// One line of the leaderboard, decoded from a record of the database.
#include <QJsonObject>
#include <QString>
#include <optional>

struct LeaderboardEntry
{
    static constexpr const char* kRecordType = "OvraClassement";
    static constexpr const char* kRecordPrefix = "classement-";
    static constexpr const char* kAnonymous = "Anonyme";
    // Longer pseudos are cut: a line of the list, not a page of text.
    static constexpr qsizetype kMaxPseudoLength = 40;

    QString id;
    QString pseudo;
    qint64 words = 0;
    bool isMe = false;

    bool operator==(const LeaderboardEntry&) const = default;

    // None when the record has no usable name ("_id"); a missing or non-text "pseudo" reads
    // "Anonyme", a missing or non-integer "mots" reads 0.
    static std::optional<LeaderboardEntry> fromRecord(const QJsonObject& record, const QString& myRecordName);
    // The pseudo as a single line of at most kMaxPseudoLength characters; "" when nothing remains.
    static QString cleanPseudo(const QString& text);
};
