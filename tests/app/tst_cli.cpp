// The command line as a user runs it: the real binary, its own XDG folders.
#include "fakes/OvraProcess.h"
#include "store/RecordStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    OvraRun ovra(const QStringList& args) { return runOvra(m_home.path(), args); }
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
        const OvraRun r = ovra({QStringLiteral("settings"), QStringLiteral("get"), key});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, printed + QLatin1Char('\n'));
    }

    void absentSettingAndBadUsageFail()
    {
        const OvraRun absent = ovra({QStringLiteral("settings"), QStringLiteral("get"), QStringLiteral("nope.key")});
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
        const OvraRun r = ovra({QStringLiteral("history"), QStringLiteral("--json"), QStringLiteral("--limit"),
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
        const OvraRun prompt = ovra({QStringLiteral("prompts"), QStringLiteral("add"), QStringLiteral("Courriel"),
                                 QStringLiteral("Rédige un courriel poli."), QStringLiteral("--pinned")});
        QCOMPARE(prompt.code, 0);
        const OvraRun add = ovra({QStringLiteral("modes"), QStringLiteral("add"), QStringLiteral("Pro"),
                              QStringLiteral("--provider"), QStringLiteral("openai"), QStringLiteral("--ai"),
                              QStringLiteral("on"), QStringLiteral("--preset"), QStringLiteral("courriel")});
        QCOMPARE(add.code, 0);
        const QString id = add.out.trimmed();
        QVERIFY(!QUuid::fromString(id).isNull());

        // Wrong options change nothing: a wrong value is bad usage, a missing record a failure.
        const QList<std::pair<QStringList, int>> refused{
            {{QStringLiteral("modes"), QStringLiteral("set"), id, QStringLiteral("--provider"), QStringLiteral("bogus")}, 2},
            {{QStringLiteral("modes"), QStringLiteral("set"), id, QStringLiteral("--trim"), QStringLiteral("maybe"),
              QStringLiteral("--model"), QStringLiteral("x")},
             2},
            {{QStringLiteral("modes"), QStringLiteral("set"), id, QStringLiteral("--preset"), QStringLiteral("nobody")}, 1},
            {{QStringLiteral("modes"), QStringLiteral("set"), QStringLiteral("nobody")}, 1},
            {{QStringLiteral("dictionary"), QStringLiteral("add"), QStringLiteral("Ovra"), QStringLiteral("--scopes"),
              QStringLiteral("everything")},
             2}};
        for (const auto& [args, code] : refused)
            QCOMPARE(ovra(args).code, code);

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
