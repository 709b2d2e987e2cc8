#include "NearestName.h"

#include <QList>

namespace {

qsizetype editDistance(const QString& a, const QString& b)
{
    QList<qsizetype> row(b.size() + 1);
    for (qsizetype j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (qsizetype i = 1; i <= a.size(); ++i) {
        qsizetype diagonal = row[0];
        row[0] = i;
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const qsizetype above = row[j];
            const qsizetype change = a[i - 1].toCaseFolded() == b[j - 1].toCaseFolded() ? 0 : 1;
            row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + change});
            diagonal = above;
        }
    }
    return row[b.size()];
}

} // namespace

std::optional<QString> nearestName(const QString& typed, const QStringList& known)
{
    std::optional<QString> best;
    // A third of the word may be wrong, and at least one or two letters of a short one.
    qsizetype bestDistance = std::max<qsizetype>(2, typed.size() / 3) + 1;
    for (const QString& k : known) {
        const qsizetype d = editDistance(typed, k);
        if (d < bestDistance) {
            bestDistance = d;
            best = k;
        }
    }
    return best;
}
