// `ovra import` killed while it runs: the store holds everything it held before, or everything
// the backup brings, never a part of it, and it stays usable.
#include "fakes/OvraProcess.h"
#include "store/RecordStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <csignal>

class TestCliImport : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_backup;
    static constexpr int kDictations = 60000;

    QString home(const QString& name) const { return m_dir.filePath(name); }
    static QString storePath(const QString& home) { return home + QStringLiteral("/data/ovra/ovra.sqlite"); }
    static qint64 dictations(const QString& home)
    {
        auto store = RecordStore::open(storePath(home), {});
        return store ? (*store)->count<Transcription>() : -1;
    }
    // A device whose store already holds one dictation of its own.
    void prepare(const QString& name)
    {
        QVERIFY(QDir().mkpath(home(name) + QStringLiteral("/data/ovra")));
        auto store = RecordStore::open(storePath(home(name)), {});
        QVERIFY(store);
        Transcription own;
        own.text = QStringLiteral("la mienne");
        QVERIFY((*store)->insert(own));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QDir().mkpath(home("source") + QStringLiteral("/data/ovra")));
        {
            auto store = RecordStore::open(storePath(home("source")), {});
            QVERIFY(store);
            const QString text(200, QLatin1Char('x'));
            QVERIFY((*store)->save([&]() -> StoreResult {
                for (int i = 0; i < kDictations; ++i) {
                    Transcription t;
                    t.text = text;
                    if (auto ok = (*store)->insert(t); !ok)
                        return ok;
                }
                return {};
            }));
        }
        m_backup = m_dir.filePath(QStringLiteral("sauvegarde.json"));
        QCOMPARE(runOvra(home("source"), {"export", m_backup}).code, 0);
    }

    void killedImportLeavesAllOrNothing_data()
    {
        QTest::addColumn<double>("fraction"); // of a whole import's time
        QTest::newRow("early") << 0.2;
        QTest::newRow("halfway") << 0.5;
        QTest::newRow("late") << 0.85;
    }
    void killedImportLeavesAllOrNothing()
    {
        QFETCH(double, fraction);
        static qint64 wholeMs = [this] {
            prepare(QStringLiteral("timing"));
            QElapsedTimer t;
            t.start();
            const OvraRun r = runOvra(home("timing"), {"import", m_backup});
            return r.code == 0 ? t.elapsed() : -1;
        }();
        QVERIFY(wholeMs > 0);
        QCOMPARE(dictations(home("timing")), qint64(kDictations + 1));

        const QString device = QStringLiteral("killed-%1").arg(QTest::currentDataTag());
        prepare(device);
        QProcess import;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), home(device) + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home(device) + QStringLiteral("/config"));
        import.setProcessEnvironment(env);
        import.start(QStringLiteral(OVRA_BINARY), {QStringLiteral("import"), m_backup});
        QVERIFY(import.waitForStarted());
        QTest::qWait(int(double(wholeMs) * fraction));
        ::kill(pid_t(import.processId()), SIGKILL);
        QVERIFY(import.waitForFinished(30000));

        const qint64 after = dictations(home(device));
        qInfo() << "after the kill:" << after << "dictations";
        QVERIFY2(after == 1 || after == kDictations + 1, qPrintable(QString::number(after)));
        // Usable afterwards: the same import run again completes it.
        QCOMPARE(runOvra(home(device), {"import", m_backup}).code, 0);
        QCOMPARE(dictations(home(device)), qint64(kDictations + 1));
    }
};

QTEST_GUILESS_MAIN(TestCliImport)
#include "tst_cli_import.moc"
