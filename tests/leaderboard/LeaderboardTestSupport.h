#pragma once
// Shared by the leaderboard tests: a clock that records waits instead of waiting, and the
// objects a manager needs, in temporary folders.
#include "leaderboard/LeaderboardClock.h"
#include "leaderboard/LeaderboardManager.h"
#include "network/APINetworkClient.h"
#include "platform/linux/secret/MemorySecretStore.h"
#include "store/AppSettingsKeys.h"
#include "store/DebugLog.h"
#include "store/Settings.h"
#include "store/StoreFixture.h"

#include <QList>
#include <memory>

class FakeLeaderboardClock : public LeaderboardClock
{
public:
    QDateTime current = QDateTime::fromString(QStringLiteral("2026-12-10T16:00:00Z"), Qt::ISODate);
    QList<qint64> sleeps;

    QDateTime now() const override { return current; }
    QCoro::Task<> sleep(std::chrono::milliseconds delay) override
    {
        sleeps.append(delay.count());
        current = current.addMSecs(delay.count());
        co_return;
    }
};

struct LeaderboardRig
{
    StoreFixture storeFixture;
    std::unique_ptr<RecordStore> store = storeFixture.open();
    Settings settings{storeFixture.dir.filePath(QStringLiteral("config"))};
    DebugLog log{storeFixture.dir.filePath(QStringLiteral("data"))};
    APINetworkClient network;
    MemorySecretStore secrets;
    FakeLeaderboardClock clock;
    LeaderboardManager manager;

    explicit LeaderboardRig(int rankLimit = LeaderboardManager::kRankLimit)
        : manager({settings, log, network, secrets, clock, rankLimit})
    {
    }

    void useDatabase(const QString& url) { settings.setValue(AppSettingsKey::leaderboardURL, url); }
    void signIn(const QString& name, const QString& password)
    {
        QVERIFY(manager.account().save({name, password}));
    }
    void dictate(const QString& text)
    {
        Transcription t;
        t.text = text;
        QVERIFY(store->insert(t));
    }
};
