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

    // A refused value leaves the stored one as it was.
    void settingsSetRefusesWhatTheProgramWouldMisread_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("before"); // stored first when not empty
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("typo") << QStringList{"mirelo.recording.timout", "45"} << "" << 2
                              << "Réglage inconnu : mirelo.recording.timout. Vouliez-vous dire « mirelo.recording.timeout » ?";
        QTest::newRow("forced") << QStringList{"my.own.key", "45", "--force"} << "" << 0 << "";
        QTest::newRow("boolean") << QStringList{"ovra.mac.sounds", "maybe"} << "true" << 2
                                 << "ovra.mac.sounds attend un booléen (true ou false), pas « maybe ».";
        QTest::newRow("integer") << QStringList{"mirelo.retention.days", "2.5"} << "30" << 2 << "attend un nombre entier";
        QTest::newRow("list") << QStringList{"ovra.mac.autoSendEnter", "slack"} << "[\"x\"]" << 2
                              << "attend une liste JSON";
        QTest::newRow("text takes digits") << QStringList{"mirelo.leaderboard.pseudo", "42"} << "" << 0 << "";
        QTest::newRow("shortcut") << QStringList{"ovra.mac.shortcuts", R"({"toggleDictation":"ctrl+nosuchkey+"})"}
                                  << R"({"toggleDictation":"alt+super+d"})" << 2
                                  << "combinaison illisible pour toggleDictation";
        QTest::newRow("shortcut off") << QStringList{"ovra.mac.shortcuts", R"({"pushToTalk":""})"} << "" << 0 << "";
    }
    void settingsSetRefusesWhatTheProgramWouldMisread()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, before);
        QFETCH(int, code);
        QFETCH(QString, message);
        const QString key = args.first();
        if (!before.isEmpty())
            QCOMPARE(ovra({"settings", "set", key, before}).code, 0);
        const QString stored = ovra({"settings", "get", key}).out;
        const OvraRun r = ovra(QStringList{"settings", "set"} + args);
        QCOMPARE(r.code, code);
        QVERIFY2(message.isEmpty() ? r.err.isEmpty() : r.err.contains(message), qPrintable(r.err));
        if (code != 0)
            QCOMPARE(ovra({"settings", "get", key}).out, stored);
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
        const OvraRun empty = ovra({QStringLiteral("history")});
        QCOMPARE(empty.code, 0);
        QVERIFY(empty.out.isEmpty());
        QVERIFY(empty.err.contains(QStringLiteral("Aucune dictée.")));
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

    // Commands that only read open the store read-only (or not at all): a store folder where
    // nothing can be written still answers them, while a writing command fails naming the file.
    void readingCommandsNeedNoWritableStore_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out"); // contained in the output
        QTest::newRow("history") << QStringList{"history"} << 0 << "lecture seule";
        QTest::newRow("prompts list") << QStringList{"prompts", "list"} << 0 << "Courriel";
        QTest::newRow("modes list") << QStringList{"modes", "list"} << 0 << ""; // none: a hint on stderr
        QTest::newRow("dictionary list") << QStringList{"dictionary", "list"} << 0 << "";
        QTest::newRow("shortcuts list") << QStringList{"shortcuts", "list"} << 0 << "";
        QTest::newRow("settings get") << QStringList{"settings", "get", "ovra.mac.sounds"} << 0 << "true";
        QTest::newRow("log") << QStringList{"log"} << 0 << "[APP] trace";
        QTest::newRow("prompts add") << QStringList{"prompts", "add", "Autre", "texte"} << 1 << "";
    }
    void readingCommandsNeedNoWritableStore()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, out);
        QTemporaryDir home;
        const QString folder = home.filePath(QStringLiteral("data/ovra"));
        const QString path = folder + QStringLiteral("/ovra.sqlite");
        {
            auto store = RecordStore::open(path, {});
            QVERIFY(store);
            Transcription t;
            t.text = QStringLiteral("lecture seule");
            QVERIFY((*store)->insert(t));
        }
        QCOMPARE(runOvra(home.path(), {"prompts", "add", "Courriel", "Sois poli."}).code, 0);
        QCOMPARE(runOvra(home.path(), {"settings", "set", "ovra.mac.sounds", "true"}).code, 0);
        QFile journal(folder + QStringLiteral("/mirelo-debug.log"));
        QVERIFY(journal.open(QIODevice::WriteOnly));
        journal.write("[2026-01-01T00:00:00Z] [APP] trace\n");
        journal.close();
        // The journal of a store opened for writing cannot be created: every write fails, even as root.
        QVERIFY(QDir(folder).mkdir(QStringLiteral("ovra.sqlite-wal")) && QDir(folder).mkdir(QStringLiteral("ovra.sqlite-shm")));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        const OvraRun r = runOvra(home.path(), args);
        QCOMPARE(r.code, code);
        QVERIFY2(r.out.contains(out), qPrintable(r.out));
        const QString hint = args == QStringList{"modes", "list"} ? QStringLiteral("Aucun mode : ovra modes add NOM en crée un.\n")
                                                                  : QString();
        QVERIFY2(code == 0 ? r.err == hint : r.err.contains(path), qPrintable(r.err));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
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
        // The journal needs no store.
        QFile journal(home.filePath(QStringLiteral("data/ovra/mirelo-debug.log")));
        QVERIFY(journal.open(QIODevice::WriteOnly));
        journal.write("[2026-01-01T00:00:00Z] [APP] trace\n");
        journal.close();
        const OvraRun log = runOvra(home.path(), {QStringLiteral("log")});
        QCOMPARE(log.code, 0);
        QCOMPARE(log.out, QStringLiteral("[2026-01-01T00:00:00Z] [APP] trace\n"));
        const OvraRun history = runOvra(home.path(), {QStringLiteral("history")});
        QCOMPARE(history.code, 1);
        QVERIFY2(history.err.contains(path), qPrintable(history.err));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), junk);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
