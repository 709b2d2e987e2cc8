#include "HistoryListModel.h"

#include "store/RecordStore.h"

#include <QLocale>

HistoryListModel::HistoryListModel(RecordStore& store, QObject* parent) : QAbstractListModel(parent), m_store(store)
{
    reload();
    connect(&m_store, &RecordStore::changed, this, [this](const QString& table) {
        if (table != QLatin1String(RecordSchema<Transcription>::table))
            return;
        if (m_live)
            reload();
        else
            m_stale = true;
    });
}

int HistoryListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_shown; }

bool HistoryListModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && (m_shown < m_matches.size() || (!m_complete && m_total > m_all.size()));
}

void HistoryListModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    if (!m_complete && m_shown >= m_matches.size()) {
        // The rows shown so far are the head of the full list: they stay as they are.
        const int shown = m_shown;
        loadAll();
        m_shown = std::min<int>(shown, int(m_matches.size()));
    }
    const int more = int(std::min<qsizetype>(kPageSize, m_matches.size() - m_shown));
    if (more <= 0)
        return;
    beginInsertRows({}, m_shown, m_shown + more - 1);
    m_shown += more;
    endInsertRows();
}

const Transcription* HistoryListModel::at(int row) const
{
    if (row < 0 || row >= m_shown)
        return nullptr;
    return &m_all[m_matches[row]];
}

int HistoryListModel::rowOf(const QUuid& id) const
{
    for (int row = 0; row < m_matches.size(); ++row)
        if (m_all[m_matches[row]].id == id)
            return row < m_shown ? row : -1;
    return -1;
}

namespace {
QString preview(const Transcription& t)
{
    QString text = t.userEditedText && !t.userEditedText->isEmpty() ? *t.userEditedText : t.text;
    if (t.purgedAt && text.isEmpty())
        return QStringLiteral("(texte effacé par la durée de conservation)");
    if (t.offlinePendingAt && text.isEmpty())
        return QStringLiteral("(en attente du réseau)");
    text = text.left(240).simplified();
    return text.isEmpty() ? QStringLiteral("(vide)") : text;
}
} // namespace

QVariant HistoryListModel::data(const QModelIndex& index, int role) const
{
    const Transcription* t = at(index.row());
    if (!t)
        return {};
    switch (role) {
    case Qt::DisplayRole: {
        const QString date = QLocale(QLocale::French).toString(t->createdAt.toLocalTime(), QStringLiteral("d MMM yyyy HH:mm"));
        return QString((t->isCloudStarred ? QStringLiteral("★ ") : QString()) + date + QStringLiteral(" · ") +
                       t->modeName + QStringLiteral("\n") + preview(*t));
    }
    case Qt::AccessibleTextRole:
    case Qt::ToolTipRole:
        return preview(*t);
    case IdRole: return t->id;
    case StarredRole: return t->isCloudStarred;
    case DateRole: return t->createdAt;
    default: return {};
    }
}

void HistoryListModel::setSearch(const QString& text)
{
    if (text == m_search)
        return;
    m_search = text;
    beginResetModel();
    if (!m_complete && filtered())
        loadAll();
    applySearch();
    endResetModel();
}

void HistoryListModel::setCategory(std::optional<TranscriptionCategory> category)
{
    if (category == m_category)
        return;
    m_category = category;
    beginResetModel();
    if (!m_complete && filtered())
        loadAll();
    applySearch();
    endResetModel();
}

void HistoryListModel::setLive(bool live)
{
    m_live = live;
    if (live && m_stale)
        reload();
}

void HistoryListModel::reload()
{
    m_stale = false;
    beginResetModel();
    m_total = m_store.count<Transcription>();
    if (!filtered()) {
        m_all = m_store.fetchFirst<Transcription>(kPageSize, kOrder());
        m_complete = m_all.size() >= m_total;
    } else {
        loadAll();
    }
    applySearch();
    endResetModel();
}

QList<SortKey> HistoryListModel::kOrder()
{
    // The id breaks ties so that the first page is exactly the head of the full list.
    return {{QStringLiteral("createdAt"), false}, {QStringLiteral("id"), true}};
}

void HistoryListModel::loadAll()
{
    m_all = m_store.fetch<Transcription>({}, kOrder());
    m_total = m_all.size();
    m_complete = true;
    const int shown = m_shown;
    applySearch();
    m_shown = std::max(m_shown, std::min<int>(shown, int(m_matches.size())));
}

bool HistoryListModel::matches(const Transcription& t, const QStringList& words) const
{
    if (m_category && (!t.categoryRaw || categoryFromRaw(*t.categoryRaw) != m_category))
        return false;
    for (const QString& w : words) {
        auto has = [&w](const QString& s) { return s.contains(w, Qt::CaseInsensitive); };
        auto hasOpt = [&has](const std::optional<QString>& s) { return s && has(*s); };
        if (!(has(t.text) || hasOpt(t.userEditedText) || hasOpt(t.aiOutputText) || hasOpt(t.afterReplacementsText) ||
              hasOpt(t.rawWhisperText) || has(t.modeName)))
            return false;
    }
    return true;
}

void HistoryListModel::applySearch()
{
    m_matches.clear();
    const QStringList words = m_search.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    m_matches.reserve(m_all.size());
    for (int i = 0; i < m_all.size(); ++i)
        if (!filtered() || matches(m_all[i], words))
            m_matches.append(i);
    m_shown = int(std::min<qsizetype>(kPageSize, m_matches.size()));
}
