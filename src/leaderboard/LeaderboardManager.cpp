#include "LeaderboardManager.h"

#include "LeaderboardClock.h"
#include "LeaderboardRetry.h"
#include "stats/BackupStats.h"
#include "stats/StatsSnapshot.h"
#include "store/DateTime.h"
#include "store/DebugLog.h"
#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QJsonArray>

namespace {

const QString kCategory = QStringLiteral("FLOW");

// "mots" from `bound` (by `op`) up to the largest exact integer.
QJsonObject wordsRange(const QString& op, qint64 bound)
{
    return QJsonObject{{QStringLiteral("mots"),
                        QJsonObject{{op, bound}, {QStringLiteral("$lte"), 9007199254740991.0}}}};
}

// Two records should never share a name; if a page repeats one (offset paging over a board that
// moved), the line already listed stays.
void appendNew(QList<LeaderboardEntry>& list, const QList<LeaderboardEntry>& more)
{
    QSet<QString> seen;
    for (const auto& e : list)
        seen.insert(e.id);
    for (const auto& e : more)
        if (!seen.contains(e.id)) {
            seen.insert(e.id);
            list.append(e);
        }
}

} // namespace

LeaderboardManager::LeaderboardManager(Dependencies deps, QObject* parent)
    : QObject(parent), m_settings(deps.settings), m_log(deps.log), m_network(deps.network), m_clock(deps.clock),
      m_account(deps.settings, deps.secrets), m_rankLimit(qMax(1, deps.rankLimit))
{
}

LeaderboardManager::~LeaderboardManager() = default;

std::optional<LeaderboardCachedSnapshot> LeaderboardManager::cachedSnapshot() const
{
    return LeaderboardCachedSnapshot::read(m_settings);
}

template <class T, class Op>
QCoro::Task<Expected<T, LeaderboardError>> LeaderboardManager::attempt(Op op)
{
    QPointer<LeaderboardManager> self(this);
    for (int n = 1;; ++n) {
        Expected<T, LeaderboardError> result = co_await op();
        if (result || !self)
            co_return result;
        m_log.log(QStringLiteral("APP classement (tentative %1): %2").arg(n).arg(result.error().description()),
                  kCategory);
        const auto delay = LeaderboardRetry::delayAfter(result.error(), n);
        if (!delay)
            co_return result;
        co_await m_clock.sleep(*delay);
        if (!self)
            co_return result;
    }
}

QCoro::Task<Expected<CouchDBClient, LeaderboardError>> LeaderboardManager::signedInClient()
{
    const auto location = m_account.location();
    if (!location)
        co_return unexpected(LeaderboardError(LeaderboardError::Kind::notConfigured));
    auto credentials = co_await m_account.credentials();
    if (!credentials)
        co_return unexpected(LeaderboardError(LeaderboardError::Kind::notAuthenticated));
    CouchDBClient client(m_network, *location);
    client.setCredentials(std::move(credentials));
    co_return client;
}

QCoro::Task<Expected<QString, LeaderboardError>> LeaderboardManager::recordName(CouchDBClient& client)
{
    auto user = co_await attempt<QString>([&client] { return client.sessionUserName(); });
    if (!user)
        co_return unexpected(user.error());
    co_return QString(QString::fromLatin1(LeaderboardEntry::kRecordPrefix) + *user);
}

QCoro::Task<Expected<void, LeaderboardError>> LeaderboardManager::publishOwnRecord(CouchDBClient& client,
                                                                                    const QString& recordName,
                                                                                    const QString& userName,
                                                                                    qint64 words)
{
    QPointer<LeaderboardManager> self(this);
    // A second computer of the same user may write in between: read again once and rewrite.
    for (int round = 0; round < 2; ++round) {
        auto existing = co_await attempt<std::optional<QJsonObject>>([&] { return client.document(recordName); });
        if (!self)
            co_return unexpected(LeaderboardError(LeaderboardError::Kind::operationCancelled));
        if (!existing)
            co_return unexpected(existing.error());

        QString pseudo = LeaderboardEntry::cleanPseudo(m_settings.stringValue(SharedDefaultsKey::leaderboardPseudo).value_or(QString()));
        if (pseudo.isEmpty() && *existing) {
            const QString earlier = LeaderboardEntry::cleanPseudo((*existing)->value(QLatin1String("pseudo")).toString());
            if (!earlier.isEmpty()) {
                m_settings.setValue(SharedDefaultsKey::leaderboardPseudo, earlier);
                pseudo = earlier;
            }
        }
        // Nobody chose a pseudo yet: the account name, which the record's name shows anyway.
        if (pseudo.isEmpty())
            pseudo = LeaderboardEntry::cleanPseudo(userName);

        QJsonObject doc{{QStringLiteral("type"), QString::fromLatin1(LeaderboardEntry::kRecordType)},
                        {QStringLiteral("pseudo"), pseudo},
                        {QStringLiteral("mots"), words},
                        {QStringLiteral("majLe"), DateTime::toIsoMillis(m_clock.now())}};
        if (*existing && (*existing)->value(QLatin1String("_rev")).isString())
            doc.insert(QStringLiteral("_rev"), (*existing)->value(QLatin1String("_rev")));
        auto written = co_await attempt<QString>([&] { return client.putDocument(recordName, doc); });
        if (!self)
            co_return unexpected(LeaderboardError(LeaderboardError::Kind::operationCancelled));
        if (written)
            co_return {};
        if (written.error().kind() != LeaderboardError::Kind::serverRecordChanged || round == 1)
            co_return unexpected(written.error());
    }
    co_return {};
}

QCoro::Task<Expected<void, LeaderboardError>> LeaderboardManager::deleteOwnRecord(CouchDBClient& client,
                                                                                   const QString& recordName)
{
    QPointer<LeaderboardManager> self(this);
    for (int round = 0; round < 2; ++round) {
        auto existing = co_await attempt<std::optional<QJsonObject>>([&] { return client.document(recordName); });
        if (!self)
            co_return unexpected(LeaderboardError(LeaderboardError::Kind::operationCancelled));
        if (!existing)
            co_return unexpected(existing.error());
        if (*existing) {
            const QString rev = (*existing)->value(QLatin1String("_rev")).toString();
            auto removed = co_await attempt<void>([&] { return client.deleteDocument(recordName, rev); });
            if (!self)
                co_return unexpected(LeaderboardError(LeaderboardError::Kind::operationCancelled));
            if (!removed) {
                if (removed.error().kind() == LeaderboardError::Kind::serverRecordChanged && round == 0)
                    continue;
                if (removed.error().kind() != LeaderboardError::Kind::unknownItem)
                    co_return unexpected(removed.error());
            }
        }
        m_log.log(QStringLiteral("APP classement: entrée retirée (opt-out)"), kCategory);
        co_return {};
    }
    co_return {};
}

QCoro::Task<Expected<LeaderboardManager::Page, LeaderboardError>> LeaderboardManager::fetchPage(CouchDBClient& client,
                                                                                                 PageCursor from)
{
    CouchDBClient::FindQuery query;
    // Only "mots" in the selector: the index alone then answers the sorted page, without
    // reading every record. The database holds nothing else (the validation sees to it); the
    // upper bound leaves out a "mots" that is not a number (text collates after numbers).
    query.selector = wordsRange(QStringLiteral("$gte"), 0);
    query.sort = QJsonArray{QJsonObject{{QStringLiteral("mots"), QStringLiteral("desc")}}};
    query.limit = kPageSize;
    query.bookmark = from.bookmark;
    query.skip = from.skip;
    QPointer<LeaderboardManager> self(this);
    auto found = co_await attempt<CouchDBClient::FindResult>([&] { return client.find(query); });
    if (!self)
        co_return unexpected(LeaderboardError(LeaderboardError::Kind::operationCancelled));
    if (!found)
        co_return unexpected(found.error());

    Page page;
    const QString me = m_myRecordName.value_or(QString());
    int failed = 0;
    for (const QJsonValue& v : found->docs) {
        const auto entry = v.isObject() ? LeaderboardEntry::fromRecord(v.toObject(), me) : std::nullopt;
        if (entry)
            page.entries.append(*entry);
        else
            ++failed;
    }
    if (failed > 0)
        m_log.log(QStringLiteral("APP classement: page partielle (%1 enregistrement(s) en échec sur %2)")
                      .arg(failed)
                      .arg(found->docs.size()),
                  kCategory);
    // A short page is the last one.
    if (found->docs.size() >= kPageSize) {
        PageCursor next;
        next.skip = from.skip + int(found->docs.size());
        if (found->bookmark) {
            next.bookmark = found->bookmark;
            next.skip = 0;
        }
        page.next = next;
    }
    co_return page;
}

QCoro::Task<Expected<qint64, LeaderboardError>> LeaderboardManager::countAhead(CouchDBClient& client, qint64 words)
{
    QPointer<LeaderboardManager> self(this);
    // "mots" > words, written as ≥ words + 1 (counts are integers).
    auto counted = co_await attempt<std::optional<qint64>>([&] {
        return client.viewCount(QString::fromLatin1(kDesignDocument), QString::fromLatin1(kRankView), words + 1);
    });
    if (!self)
        co_return unexpected(LeaderboardError(LeaderboardError::Kind::operationCancelled));
    if (!counted)
        co_return unexpected(counted.error());
    if (*counted)
        co_return qMin(**counted, qint64(m_rankLimit));

    // A database set up before the counting view existed: fetch the ids, up to the limit. Some
    // servers apply the limit before dropping the rows equal to an exclusive bound, hence ≥.
    CouchDBClient::FindQuery ahead;
    ahead.selector = wordsRange(QStringLiteral("$gte"), words + 1);
    ahead.fields = {QStringLiteral("_id")};
    ahead.limit = m_rankLimit;
    auto found = co_await attempt<CouchDBClient::FindResult>([&] { return client.find(ahead); });
    if (!self)
        co_return unexpected(LeaderboardError(LeaderboardError::Kind::operationCancelled));
    if (!found)
        co_return unexpected(found.error());
    co_return qint64(found->docs.size());
}

QCoro::Task<> LeaderboardManager::refresh(const RecordStore& store)
{
    QPointer<LeaderboardManager> self(this);
    const quint64 generation = ++m_generation;
    m_lastRefreshContext = &store;
    setLoading(true);
    setFirstPageAccepted(false);

    auto client = co_await signedInClient();
    if (!self)
        co_return;
    if (!client) {
        if (generation == m_generation)
            failRefresh(client.error());
        co_return;
    }
    auto name = co_await recordName(*client);
    if (!self)
        co_return;
    if (!name) {
        if (generation == m_generation)
            failRefresh(name.error());
        co_return;
    }
    m_myRecordName = *name;

    const qint64 words = computeStats(store, m_clock.now()).totalWords;
    setMyWords(words);
    const bool optedOut = m_settings.boolValue(SharedDefaultsKey::leaderboardOptOut, false);
    Expected<void, LeaderboardError> own;
    if (optedOut)
        own = co_await deleteOwnRecord(*client, *name);
    else
        own = co_await publishOwnRecord(*client, *name, client->credentials()->name, words);
    if (!self)
        co_return;
    if (!own) {
        if (generation == m_generation)
            failRefresh(own.error());
        co_return;
    }

    // The page and the rank do not depend on each other: both are asked at once, and the page
    // shows as soon as it is there. Both are awaited before leaving, as they use `client`.
    auto pageTask = fetchPage(*client, PageCursor{});
    auto rankTask = countAhead(*client, words);
    auto first = co_await pageTask;
    const bool current = self && generation == m_generation;
    if (current && first) {
        m_pageGeneration = generation;
        m_entries = first->entries;
        m_pageCursor = first->next;
        Q_EMIT entriesChanged();
        setHasMore(m_pageCursor.has_value());
        setFirstPageAccepted(true);
    }
    auto ahead = co_await rankTask;
    if (!self || generation != m_generation)
        co_return;
    if (!first) {
        failRefresh(first.error());
        co_return;
    }
    if (!ahead) {
        failRefresh(ahead.error());
        co_return;
    }
    const qint64 count = *ahead;
    setMyRank(count + 1, count >= m_rankLimit);
    m_log.log(QStringLiteral("APP classement rang: %1").arg(count + 1), kCategory);

    m_lastGoodUpdate = m_clock.now();
    Q_EMIT lastGoodUpdateChanged();
    m_needsRetryOnForeground = false;
    m_lastError.reset();
    setErrorMessage(std::nullopt);
    saveCache();
    publishRank();
    setLoading(false);
}

void LeaderboardManager::failRefresh(const LeaderboardError& error)
{
    m_lastError = error;
    // Only what a later attempt can mend is worth retrying when the window comes back.
    m_needsRetryOnForeground = error.kind() != LeaderboardError::Kind::notConfigured &&
                               error.kind() != LeaderboardError::Kind::notAuthenticated;
    setErrorMessage(error.userMessage());
    setLoading(false);
}

QCoro::Task<> LeaderboardManager::loadMore()
{
    if (!m_pageCursor || m_isLoadingMore || m_isLoading)
        co_return;
    QPointer<LeaderboardManager> self(this);
    const quint64 generation = m_pageGeneration;
    const PageCursor from = *m_pageCursor;
    setLoadingMore(true);
    m_log.log(QStringLiteral("APP classement page suivante: %1").arg(m_entries.size()), kCategory);
    auto client = co_await signedInClient();
    if (!self)
        co_return;
    if (!client) {
        m_lastError = client.error();
        setErrorMessage(client.error().userMessage());
        setLoadingMore(false);
        co_return;
    }
    auto page = co_await fetchPage(*client, from);
    if (!self)
        co_return;
    // A refresh replaced the list meanwhile: this page belongs to the old one.
    if (generation != m_pageGeneration) {
        setLoadingMore(false);
        co_return;
    }
    if (!page) {
        m_lastError = page.error();
        setErrorMessage(page.error().userMessage());
        setLoadingMore(false);
        co_return;
    }
    appendNew(m_entries, page->entries);
    m_pageCursor = page->next;
    Q_EMIT entriesChanged();
    setHasMore(m_pageCursor.has_value());
    setLoadingMore(false);
}

QCoro::Task<bool> LeaderboardManager::removeMyEntry()
{
    QPointer<LeaderboardManager> self(this);
    setRemovalErrorMessage(std::nullopt);
    auto client = co_await signedInClient();
    if (!self)
        co_return false;
    Expected<void, LeaderboardError> done;
    if (!client) {
        done = unexpected(client.error());
    } else {
        auto name = co_await recordName(*client);
        if (!self)
            co_return false;
        if (!name) {
            done = unexpected(name.error());
        } else {
            m_myRecordName = *name;
            done = co_await deleteOwnRecord(*client, *name);
            if (!self)
                co_return false;
        }
    }
    if (!done) {
        m_lastError = done.error();
        setRemovalErrorMessage(done.error().userMessage());
        co_return false;
    }
    const auto before = m_entries.size();
    m_entries.removeIf([](const LeaderboardEntry& e) { return e.isMe; });
    if (m_entries.size() != before)
        Q_EMIT entriesChanged();
    co_return true;
}

void LeaderboardManager::publishRank()
{
    std::optional<StatsSnapshot> stored = readSnapshot(m_settings);
    StatsSnapshot snapshot;
    if (stored) {
        snapshot = *stored;
    } else {
        // Nothing published yet: the figures come from the store the rank was computed for.
        if (m_lastRefreshContext)
            snapshot.stats = computeStats(*m_lastRefreshContext, m_clock.now());
        snapshot.generatedAt = m_clock.now();
    }
    if (stored && stored->worldRank == m_myRank && stored->worldRankIsCapped == std::optional<bool>(m_myRankIsCapped))
        return;
    snapshot.worldRank = m_myRank;
    snapshot.worldRankIsCapped = m_myRankIsCapped;
    if (!snapshot.generatedAt.isValid() || DateTime::toReferenceSeconds(snapshot.generatedAt) <= -6.0e10)
        snapshot.generatedAt = m_clock.now();
    // No widget centre on this desktop: storing the document is the whole publication.
    writeSnapshot(m_settings, snapshot);
}

QCoro::Task<Expected<QString, LeaderboardError>> LeaderboardManager::join(const QString& name, const QString& password)
{
    using K = LeaderboardError::Kind;
    const QString user = name.trimmed();
    if (user.isEmpty() || user.size() > 64 || user.contains(QLatin1Char(':')) || password.isEmpty())
        co_return unexpected(LeaderboardError(K::invalidName));
    const auto location = m_account.location();
    if (!location)
        co_return unexpected(LeaderboardError(K::notConfigured));
    QPointer<LeaderboardManager> self(this);
    CouchDBClient client(m_network, *location);
    const CouchDBCredentials credentials{user, password};

    auto signedIn = co_await attempt<void>([&] { return client.signIn(credentials); });
    if (!self)
        co_return unexpected(LeaderboardError(K::operationCancelled));
    if (!signedIn && signedIn.error().kind() == K::notAuthenticated) {
        // Unknown name, or a wrong password: creating the account tells the two apart.
        auto created = co_await attempt<void>([&] { return client.signUp(credentials); });
        if (!self)
            co_return unexpected(LeaderboardError(K::operationCancelled));
        if (!created) {
            // The account exists: CouchDB answers a conflict, or refuses to let a stranger
            // replace it.
            if (created.error().kind() == K::serverRecordChanged || created.error().kind() == K::permissionFailure)
                co_return unexpected(LeaderboardError(K::wrongPassword));
            co_return unexpected(created.error());
        }
        signedIn = co_await attempt<void>([&] { return client.signIn(credentials); });
        if (!self)
            co_return unexpected(LeaderboardError(K::operationCancelled));
    }
    if (!signedIn)
        co_return unexpected(signedIn.error());

    if (auto saved = m_account.save(credentials); !saved)
        co_return unexpected(LeaderboardError(K::secretStoreFailed, 0, std::nullopt, saved.error()));
    m_settings.setValue(SharedDefaultsKey::leaderboardOptOut, false);
    m_settings.sync();
    m_myRecordName = QString::fromLatin1(LeaderboardEntry::kRecordPrefix) + user;
    Q_EMIT accountChanged();
    co_return user;
}

QCoro::Task<bool> LeaderboardManager::leave()
{
    m_settings.setValue(SharedDefaultsKey::leaderboardOptOut, true);
    m_settings.sync();
    co_return co_await removeMyEntry();
}

void LeaderboardManager::signOut()
{
    m_account.forget();
    m_myRecordName.reset();
    Q_EMIT accountChanged();
}

void LeaderboardManager::applicationActivated()
{
    if (!m_needsRetryOnForeground || m_isLoading || !m_lastRefreshContext)
        return;
    m_needsRetryOnForeground = false;
    QCoro::connect(refresh(*m_lastRefreshContext), this, [] {});
}

void LeaderboardManager::saveCache()
{
    LeaderboardCachedSnapshot cache;
    for (const auto& e : m_entries)
        cache.entries.append({e.id, e.pseudo, e.words});
    cache.myRecordName = m_myRecordName;
    cache.myRank = m_myRank;
    cache.myRankIsCapped = m_myRankIsCapped;
    cache.myWords = m_myWords;
    cache.savedAt = m_clock.now();
    cache.write(m_settings);
}

void LeaderboardManager::setLoading(bool v)
{
    if (m_isLoading != v) {
        m_isLoading = v;
        Q_EMIT isLoadingChanged();
    }
}

void LeaderboardManager::setLoadingMore(bool v)
{
    if (m_isLoadingMore != v) {
        m_isLoadingMore = v;
        Q_EMIT isLoadingMoreChanged();
    }
}

void LeaderboardManager::setHasMore(bool v)
{
    if (m_hasMore != v) {
        m_hasMore = v;
        Q_EMIT hasMoreChanged();
    }
}

void LeaderboardManager::setErrorMessage(std::optional<QString> v)
{
    if (m_errorMessage != v) {
        m_errorMessage = std::move(v);
        Q_EMIT errorMessageChanged();
    }
}

void LeaderboardManager::setRemovalErrorMessage(std::optional<QString> v)
{
    if (m_removalErrorMessage != v) {
        m_removalErrorMessage = std::move(v);
        Q_EMIT removalErrorMessageChanged();
    }
}

void LeaderboardManager::setMyWords(qint64 v)
{
    if (m_myWords != v) {
        m_myWords = v;
        Q_EMIT myWordsChanged();
    }
}

void LeaderboardManager::setMyRank(std::optional<qint64> rank, bool capped)
{
    if (m_myRank != rank || m_myRankIsCapped != capped) {
        m_myRank = rank;
        m_myRankIsCapped = capped;
        Q_EMIT myRankChanged();
    }
}

void LeaderboardManager::setFirstPageAccepted(bool v)
{
    if (m_firstPageAccepted != v) {
        m_firstPageAccepted = v;
        Q_EMIT firstPageAcceptedChanged();
    }
}
