#pragma once
// Word-level differences between a text and the rewrite proposed for it. A token is a word (a
// run of non-white-space characters) or a line break; other white space only separates tokens.
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace ProposalDiff {

// Above this many tokens in the two texts together no diff is made.
inline constexpr qsizetype kMaxTokens = 6000;

enum class PieceKind { common, removed, inserted };

struct Piece
{
    PieceKind kind = PieceKind::common;
    QString text; // "\n" for a line break
    bool isLineBreak() const { return text == QLatin1String("\n"); }
    bool operator==(const Piece&) const = default;
};

QString unavailableMessage();

// Line breaks (\n, \r\n, \r, U+2028, U+2029) become "\n" tokens.
QStringList tokenize(const QString& text);

// For each step of a minimal edit script: the removed baseline tokens, then the inserted
// proposal tokens, then the common token. None when the texts are too long.
std::optional<QList<Piece>> compute(const QString& baseline, const QString& proposal);

// A plain rendering for logs and tests: [-removed-] {+inserted+}, words separated by one
// space, a line break as a line break.
QString toMarkedText(const QList<Piece>& pieces);

} // namespace ProposalDiff
