#include "ProposalDiff.h"

#include <QHash>
#include <vector>

namespace ProposalDiff {

QString unavailableMessage()
{
    return QStringLiteral("Modifications indisponibles pour un texte aussi long");
}

namespace {
bool isLineBreak(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar(0x2028) || c == QChar(0x2029) ||
           c == QChar(0x0B) || c == QChar(0x0C) || c == QChar(0x85);
}
} // namespace

QStringList tokenize(const QString& text)
{
    QStringList out;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const QChar c = text[i];
        if (isLineBreak(c)) {
            out << QStringLiteral("\n");
            // \r\n is one line break
            i += (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n')) ? 2 : 1;
        } else if (c.isSpace()) {
            ++i;
        } else {
            const qsizetype start = i;
            while (i < n && !text[i].isSpace())
                ++i;
            out << text.mid(start, i - start);
        }
    }
    return out;
}

std::optional<QList<Piece>> compute(const QString& baseline, const QString& proposal)
{
    const QStringList a = tokenize(baseline);
    const QStringList b = tokenize(proposal);
    if (a.size() + b.size() > kMaxTokens)
        return std::nullopt;

    // Tokens as small integers so the table compares numbers, not strings.
    QHash<QString, int> ids;
    ids.reserve(a.size() + b.size());
    std::vector<int> x, y;
    x.reserve(size_t(a.size()));
    y.reserve(size_t(b.size()));
    for (const QString& t : a) {
        auto it = ids.constFind(t);
        if (it == ids.constEnd())
            it = ids.insert(t, int(ids.size()));
        x.push_back(it.value());
    }
    for (const QString& t : b) {
        auto it = ids.constFind(t);
        if (it == ids.constEnd())
            it = ids.insert(t, int(ids.size()));
        y.push_back(it.value());
    }

    const size_t n = x.size();
    const size_t m = y.size();
    // Longest common subsequence of the suffixes, two rows at a time; one bit per cell says
    // whether skipping the baseline token keeps the longest subsequence.
    std::vector<int> below(m + 1, 0), row(m + 1, 0);
    std::vector<bool> skipBaseline(n * m, false);
    for (size_t i = n; i-- > 0;) {
        row[m] = 0;
        for (size_t j = m; j-- > 0;) {
            if (x[i] == y[j]) {
                row[j] = below[j + 1] + 1;
            } else {
                const bool down = below[j] >= row[j + 1];
                skipBaseline[i * m + j] = down;
                row[j] = down ? below[j] : row[j + 1];
            }
        }
        std::swap(row, below);
    }

    QList<Piece> out;
    QList<Piece> removed, inserted;
    auto flush = [&] {
        out += removed;
        out += inserted;
        removed.clear();
        inserted.clear();
    };
    size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && x[i] == y[j]) {
            flush();
            out.append({PieceKind::common, a[qsizetype(i)]});
            ++i;
            ++j;
        } else if (j == m || (i < n && skipBaseline[i * m + j])) {
            removed.append({PieceKind::removed, a[qsizetype(i)]});
            ++i;
        } else {
            inserted.append({PieceKind::inserted, b[qsizetype(j)]});
            ++j;
        }
    }
    flush();
    return out;
}

QString toMarkedText(const QList<Piece>& pieces)
{
    QString out;
    bool lineStart = true;
    for (const Piece& p : pieces) {
        QString text = p.text;
        if (p.kind == PieceKind::removed)
            text = QStringLiteral("[-") + text + QStringLiteral("-]");
        else if (p.kind == PieceKind::inserted)
            text = QStringLiteral("{+") + text + QStringLiteral("+}");
        if (p.isLineBreak()) {
            out += text;
            lineStart = true;
            continue;
        }
        if (!lineStart)
            out += QLatin1Char(' ');
        out += text;
        lineStart = false;
    }
    return out;
}

} // namespace ProposalDiff
