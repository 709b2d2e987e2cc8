#pragma once
// The dictations, newest first, filtered by a search text and a category. Rows reach the view page by page
// (canFetchMore/fetchMore) so a long history costs only what is on screen: without a search only
// the first page is read from the store until the view asks for more.
#include "store/RecordStore.h"
#include "store/Enums.h"
#include "store/Records.h"

#include <QAbstractListModel>
#include <QList>

class HistoryListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role { IdRole = Qt::UserRole + 1, StarredRole, DateRole };
    static constexpr int kPageSize = 100;

    explicit HistoryListModel(RecordStore& store, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    // Words of the search must all appear (any case, accents included) in one of the texts
    // or the mode's name.
    void setSearch(const QString& text);
    QString search() const { return m_search; }
    // Only the dictations of this category; none: every dictation, categorised or not.
    void setCategory(std::optional<TranscriptionCategory> category);
    std::optional<TranscriptionCategory> category() const { return m_category; }
    // Dictations that match, shown or not yet.
    qsizetype matchCount() const { return m_complete ? m_matches.size() : m_total; }
    qsizetype totalCount() const { return m_total; }

    const Transcription* at(int row) const;
    int rowOf(const QUuid& id) const;
    // Reads the store again, keeping the search.
    void reload();
    // Not live (a hidden list): changes of the store are only noted, and read when live again.
    void setLive(bool live);

private:
    static QList<SortKey> kOrder();
    bool filtered() const { return !m_search.trimmed().isEmpty() || m_category; }
    void applySearch();
    // Reads every dictation (a search or a scroll past the first page needs them).
    void loadAll();
    bool matches(const Transcription& t, const QStringList& words) const;

    RecordStore& m_store;
    QList<Transcription> m_all;
    QList<int> m_matches; // indexes into m_all
    qsizetype m_total = 0;
    bool m_complete = false; // m_all holds every dictation
    int m_shown = 0;
    bool m_live = true;
    bool m_stale = false;
    QString m_search;
    std::optional<TranscriptionCategory> m_category;
};
