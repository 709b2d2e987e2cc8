// The command line as a user runs it: the real binary, its own XDG folders.
#include "store/RecordStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {
struct Run
{
    int code;
    QString out;
    QString err;
};
} // namespace

class TestCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    Run ovra(const QStringList& args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(OVRA_BINARY), args);
        p.closeWriteChannel();
        if (!p.waitForFinished(30000))
            return {-1, {}, QStringLiteral("timed out")};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    QString storePath() const { return m_home.filePath(QStringLiteral("data/ovra/ovra.sqlite")); }

private Q_SLOTS:
    void settingsRoundTrip_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("printed");
        QTest::newRow("bool") << QStringLiteral("ovra.mac.sounds") << QStringLiteral("true") << QStringLiteral("true");
        QTest::newRow("number") << QStringLiteral("mirelo.recording.timeout") << QStringLiteral("30")
                                << QStringLiteral("30");
        QTest::newRow("json string") << QStringLiteral("mirelo.ai.model") << QStringLiteral("\"gpt-4o\"")
                                     << QStringLiteral("gpt-4o");
        QTest::newRow("plain text") << QStringLiteral("mirelo.mode.activeName") << QStringLiteral("Courriel pro")
                                    << QStringLiteral("Courriel pro");
        QTest::newRow("list") << QStringLiteral("ovra.mac.autoSendEnter") << QStringLiteral("[\"slack\",\"x\"]")
                              << QStringLiteral("[\"slack\",\"x\"]");
    }
    void settingsRoundTrip()
    {
        QFETCH(QString, key);
        QFETCH(QString, input);
        QFETCH(QString, printed);
        QCOMPARE(ovra({QStringLiteral("settings"), QStringLiteral("set"), key, input}).code, 0);
        const Run r = ovra({QStringLiteral("settings"), QStringLiteral("get"), key});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, printed + QLatin1Char('\n'));
    }

    void absentSettingAndBadUsageFail()
    {
        const Run absent = ovra({QStringLiteral("settings"), QStringLiteral("get"), QStringLiteral("nope.key")});
        QCOMPARE(absent.code, 1);
        QVERIFY(absent.err.contains(QStringLiteral("nope.key")));
        QCOMPARE(ovra({QStringLiteral("settings"), QStringLiteral("frobnicate")}).code, 2);
        QCOMPARE(ovra({QStringLiteral("history"), QStringLiteral("--limit"), QStringLiteral("-3")}).code, 2);
        QCOMPARE(ovra({QStringLiteral("nosuchcommand")}).code, 2);
    }

    void historyListsStoredDictations()
    {
        {
            auto store = RecordStore::open(storePath(), {});
            QVERIFY(store);
            for (int i = 0; i < 3; ++i) {
                Transcription t;
                t.text = QStringLiteral("dictée %1").arg(i);
                t.createdAt = QDateTime::fromSecsSinceEpoch(1767225600 + i, Qt::UTC);
                t.aiCostUSD = 0.5;
                QVERIFY((*store)->insert(t));
            }
        }
        const Run r = ovra({QStringLiteral("history"), QStringLiteral("--json"), QStringLiteral("--limit"),
                            QStringLiteral("2")});
        QCOMPARE(r.code, 0);
        const QJsonArray a = QJsonDocument::fromJson(r.out.toUtf8()).array();
        QCOMPARE(a.size(), 2);
        QCOMPARE(a[0].toObject().value(QStringLiteral("text")).toString(), QStringLiteral("dictée 2"));
        QCOMPARE(a[0].toObject().value(QStringLiteral("createdAt")).toString(),
                 QStringLiteral("2026-01-01T00:00:02.000Z"));
        QCOMPARE(a[0].toObject().value(QStringLiteral("aiCostUSD")).toDouble(), 0.5);
        QVERIFY(!a[0].toObject().contains(QStringLiteral("rawWhisperText")));
        QVERIFY(ovra({QStringLiteral("history")}).out.contains(QStringLiteral("dictée 0")));
    }

    void setsUpAModeWithAPromptAndVocabulary()
    {
        const Run prompt = ovra({QStringLiteral("prompts"), QStringLiteral("add"), QStringLiteral("Courriel"),
                                 QStringLiteral("Rédige un courriel poli."), QStringLiteral("--pinned")});
        QCOMPARE(prompt.code, 0);
        const Run add = ovra({QStringLiteral("modes"), QStringLiteral("add"), QStringLiteral("Pro"),
                              QStringLiteral("--provider"), QStringLiteral("openai"), QStringLiteral("--ai"),
                              QStringLiteral("on"), QStringLiteral("--preset"), QStringLiteral("courriel")});
        QCOMPARE(add.code, 0);
        const QString id = add.out.trimmed();
        QVERIFY(!QUuid::fromString(id).isNull());

        // Wrong options change nothing.
        const QList<QStringList> refused{
            {QStringLiteral("modes"), QStringLiteral("set"), id, QStringLiteral("--provider"), QStringLiteral("bogus")},
            {QStringLiteral("modes"), QStringLiteral("set"), id, QStringLiteral("--trim"), QStringLiteral("maybe"),
             QStringLiteral("--model"), QStringLiteral("x")},
            {QStringLiteral("modes"), QStringLiteral("set"), QStringLiteral("nobody")},
            {QStringLiteral("dictionary"), QStringLiteral("add"), QStringLiteral("Ovra"), QStringLiteral("--scopes"),
             QStringLiteral("everything")}};
        for (const QStringList& args : refused)
            QCOMPARE(ovra(args).code, 1);

        QCOMPARE(ovra({QStringLiteral("modes"), QStringLiteral("activate"), QStringLiteral("pro")}).code, 0);
        QCOMPARE(ovra({QStringLiteral("settings"), QStringLiteral("get"), QStringLiteral("mirelo.mode.activeName")}).out,
                 QStringLiteral("Pro\n"));
        QCOMPARE(ovra({QStringLiteral("dictionary"), QStringLiteral("add"), QStringLiteral("Ovra"),
                       QStringLiteral("--pronunciations"), QStringLiteral(" ova , ,ovrat")})
                     .code,
                 0);

        auto store = RecordStore::open(storePath(), {});
        QVERIFY(store);
        const auto mode = (*store)->find<TranscriptionMode>(QUuid::fromString(id));
        QVERIFY(mode);
        QCOMPARE(mode->transcriptionProviderRaw, QStringLiteral("openai"));
        QCOMPARE(mode->promptTemplate, QStringLiteral("Rédige un courriel poli."));
        QVERIFY(mode->promptPresetID && mode->enableAIEnhancement && !mode->trimSilence);
        QVERIFY(!mode->lastEditedDeviceID.isEmpty());
        const auto entries = (*store)->fetch<DictionaryEntry>();
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().pronunciationsRaw, QStringLiteral("ova,ovrat"));
        store.value().reset();

        QCOMPARE(ovra({QStringLiteral("modes"), QStringLiteral("remove"), id}).code, 0);
        QCOMPARE(ovra({QStringLiteral("settings"), QStringLiteral("get"), QStringLiteral("mirelo.mode.activeID")}).code,
                 1);
        auto after = RecordStore::open(storePath(), {});
        const auto stones = (*after)->fetch<DeletionTombstone>();
        QCOMPARE(stones.size(), 1);
        QCOMPARE(stones.first().typeRaw, QStringLiteral("mode"));
    }

    void journalPrintsAndClears()
    {
        QCOMPARE(ovra({QStringLiteral("log"), QStringLiteral("--clear")}).code, 0);
        QCOMPARE(ovra({QStringLiteral("log")}).out, QString());
    }

    void corruptStoreIsFatalAndUntouched()
    {
        QTemporaryDir home;
        QDir().mkpath(home.filePath(QStringLiteral("data/ovra")));
        const QString path = home.filePath(QStringLiteral("data/ovra/ovra.sqlite"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QByteArray junk = QByteArray("garbage, not a store\n").repeated(64);
        f.write(junk);
        f.close();

        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        p.setProcessEnvironment(env);
        for (const QStringList& args : {QStringList{}, QStringList{QStringLiteral("history")}}) {
            p.start(QStringLiteral(OVRA_BINARY), args);
            QVERIFY(p.waitForFinished(30000));
            QVERIFY(p.exitCode() != 0);
            QVERIFY(QString::fromUtf8(p.readAllStandardError()).startsWith(QStringLiteral("ModelContainer Mac: ")));
        }
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), junk);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
