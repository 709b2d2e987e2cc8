#include "StoreFixture.h"

#include <QProcess>
#include <csignal>

class TestStoreCrash : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void killedWriterLeavesAllOrNothing_data()
    {
        QTest::addColumn<int>("killAfterMs");
        QTest::newRow("early") << 20;
        QTest::newRow("middle") << 250;
        QTest::newRow("late") << 700;
        QTest::newRow("never") << -1;
    }
    void killedWriterLeavesAllOrNothing()
    {
        QFETCH(int, killAfterMs);
        const int count = 150000;
        StoreFixture fx;
        {
            auto store = fx.open(); // an earlier, committed record must survive
            QVERIFY(store->insert(Note{}));
        }
        QProcess writer;
        writer.start(QStringLiteral(STORE_WRITER), {fx.path, QString::number(count)});
        QVERIFY(writer.waitForStarted());
        QVERIFY(writer.waitForReadyRead(10000));
        QCOMPARE(writer.readLine().trimmed(), QByteArray("begin"));
        if (killAfterMs >= 0) {
            QTest::qWait(killAfterMs);
            ::kill(pid_t(writer.processId()), SIGKILL);
        }
        QVERIFY(writer.waitForFinished(60000));

        auto store = fx.open();
        QVERIFY(store);
        const qint64 n = store->count<Transcription>();
        QVERIFY2(n == 0 || n == count, qPrintable(QString::number(n)));
        if (killAfterMs < 0)
            QCOMPARE(n, qint64(count));
        QCOMPARE(store->count<Note>(), 1);
        // The store stays usable after the crash.
        QVERIFY(store->insert(Transcription{}));
    }
};

QTEST_GUILESS_MAIN(TestStoreCrash)
#include "tst_storecrash.moc"
