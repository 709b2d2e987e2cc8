#pragma once
// The world leaderboard: publishes the user's word count as their own record, lists the records
// page by page and works out the user's rank, with the rank copied into the statistics snapshot.
#include "CouchDBClient.h"
#include "LeaderboardAccount.h"
#include "LeaderboardCachedSnapshot.h"
#include "LeaderboardEntry.h"
#include "LeaderboardError.h"
#include "store/Expected.h"

#include <QCoroTask>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <optional>

class APINetworkClient;
class DebugLog;
class LeaderboardClock;
class RecordStore;
class SecretStore;
class Settings;

class LeaderboardManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(bool isLoadingMore READ isLoadingMore NOTIFY isLoadingMoreChanged)
    Q_PROPERTY(bool hasMore READ hasMore NOTIFY hasMoreChanged)
    Q_PROPERTY(qint64 myWords READ myWords NOTIFY myWordsChanged)
    Q_PROPERTY(bool myRankIsCapped READ myRankIsCapped NOTIFY myRankChanged)
    Q_PROPERTY(bool firstPageAccepted READ firstPageAccepted NOTIFY firstPageAcceptedChanged)
public:
    static constexpr int kPageSize = 50;
    static constexpr int kRankLimit = 10000;
    // The design document shipped for the server, and its view counting the records by "mots".
    static constexpr const char* kDesignDocument = "ovra-classement";
    static constexpr const char* kRankView = "par-mots";

    // Where the next page starts: CouchDB's bookmark, or an offset when the server gives none.
    struct PageCursor
    {
        std::optional<QString> bookmark;
        int skip = 0;
    };

    struct Dependencies
    {
        Settings& settings;
        DebugLog& log;
        APINetworkClient& network;
        SecretStore& secrets;
        LeaderboardClock& clock;
        // How many users ahead are counted before the rank shows as a lower bound.
        int rankLimit = kRankLimit;
    };

    explicit LeaderboardManager(Dependencies deps, QObject* parent = nullptr);
    ~LeaderboardManager() override;

    const QList<LeaderboardEntry>& entries() const { return m_entries; }
    bool isLoading() const { return m_isLoading; }
    bool isLoadingMore() const { return m_isLoadingMore; }
    bool hasMore() const { return m_hasMore; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    const std::optional<QString>& removalErrorMessage() const { return m_removalErrorMessage; }
    const std::optional<PageCursor>& pageCursor() const { return m_pageCursor; }
    const std::optional<QString>& myRecordName() const { return m_myRecordName; }
    qint64 myWords() const { return m_myWords; }
    std::optional<qint64> myRank() const { return m_myRank; }
    bool myRankIsCapped() const { return m_myRankIsCapped; }
    const std::optional<QDateTime>& lastGoodUpdate() const { return m_lastGoodUpdate; }
    bool needsRetryOnForeground() const { return m_needsRetryOnForeground; }
    const RecordStore* lastRefreshContext() const { return m_lastRefreshContext; }
    bool firstPageAccepted() const { return m_firstPageAccepted; }
    // The last error of the last operation, for callers that need more than its message.
    const std::optional<LeaderboardError>& lastError() const { return m_lastError; }

    LeaderboardAccount& account() { return m_account; }
    // A database address is set and usable.
    bool isConfigured() const { return m_account.location().has_value(); }
    std::optional<LeaderboardCachedSnapshot> cachedSnapshot() const;

    // Publishes the user's record (or removes it when they opted out), then loads the first page
    // and the rank. A first page from a refresh that a newer one overtook is dropped.
    QCoro::Task<> refresh(const RecordStore& store);
    QCoro::Task<> loadMore();
    // True when the record is gone (or never existed).
    QCoro::Task<bool> removeMyEntry();
    // Copies the rank into the statistics snapshot when it changed.
    void publishRank();

    // Signs in, or signs up when the name is new; the password is kept in the secret store and
    // joining clears the opt-out.
    QCoro::Task<Expected<QString, LeaderboardError>> join(const QString& name, const QString& password);
    // Opts out: the setting is set and the record deleted.
    QCoro::Task<bool> leave();
    // Forgets the account on this computer (the record stays).
    void signOut();

    // The window came to the front: a refresh that failed is tried again.
    void applicationActivated();

Q_SIGNALS:
    void entriesChanged();
    void isLoadingChanged();
    void isLoadingMoreChanged();
    void hasMoreChanged();
    void errorMessageChanged();
    void removalErrorMessageChanged();
    void myWordsChanged();
    void myRankChanged();
    void lastGoodUpdateChanged();
    void firstPageAcceptedChanged();
    void accountChanged();

private:
    struct Page
    {
        QList<LeaderboardEntry> entries;
        std::optional<PageCursor> next;
    };

    // One database operation with the retry rule.
    template <class T, class Op>
    QCoro::Task<Expected<T, LeaderboardError>> attempt(Op op);
    QCoro::Task<Expected<Page, LeaderboardError>> fetchPage(CouchDBClient& client, PageCursor from);
    // The users with more than `words`, at most the rank limit.
    QCoro::Task<Expected<qint64, LeaderboardError>> countAhead(CouchDBClient& client, qint64 words);
    QCoro::Task<Expected<void, LeaderboardError>> publishOwnRecord(CouchDBClient& client, const QString& recordName,
                                                                   const QString& userName, qint64 words);
    QCoro::Task<Expected<void, LeaderboardError>> deleteOwnRecord(CouchDBClient& client, const QString& recordName);
    QCoro::Task<Expected<CouchDBClient, LeaderboardError>> signedInClient();
    QCoro::Task<Expected<QString, LeaderboardError>> recordName(CouchDBClient& client);

    void setLoading(bool v);
    void setLoadingMore(bool v);
    void setHasMore(bool v);
    void setErrorMessage(std::optional<QString> v);
    void setRemovalErrorMessage(std::optional<QString> v);
    void setMyWords(qint64 v);
    void setMyRank(std::optional<qint64> rank, bool capped);
    void setFirstPageAccepted(bool v);
    void failRefresh(const LeaderboardError& error);
    void saveCache();

    Settings& m_settings;
    DebugLog& m_log;
    APINetworkClient& m_network;
    LeaderboardClock& m_clock;
    LeaderboardAccount m_account;
    int m_rankLimit;

    QList<LeaderboardEntry> m_entries;
    bool m_isLoading = false;
    bool m_isLoadingMore = false;
    bool m_hasMore = false;
    std::optional<QString> m_errorMessage;
    std::optional<QString> m_removalErrorMessage;
    std::optional<PageCursor> m_pageCursor;
    std::optional<QString> m_myRecordName;
    qint64 m_myWords = 0;
    std::optional<qint64> m_myRank;
    bool m_myRankIsCapped = false;
    std::optional<QDateTime> m_lastGoodUpdate;
    bool m_needsRetryOnForeground = false;
    const RecordStore* m_lastRefreshContext = nullptr;
    bool m_firstPageAccepted = false;
    std::optional<LeaderboardError> m_lastError;
    // Each refresh takes the next number; only the newest may show its results.
    quint64 m_generation = 0;
    quint64 m_pageGeneration = 0;
};
