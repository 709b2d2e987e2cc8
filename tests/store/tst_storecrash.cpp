#include "StoreFixture.h"

#include <QProcess>
#include <csignal>

class TestStoreCrash : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The writer is killed at a point it announces itself, so "nothing stored" is only accepted
    // from a writer that really died inside its save.
    void killedWriterLeavesAllOrNothing_data()
    {
        QTest::addColumn<int>("killAtRow");
        QTest::newRow("before the first row") << 0;
        QTest::newRow("halfway") << 75000;
        QTest::newRow("every row written, before the commit") << 150000;
        QTest::newRow("never") << -1;
    }
    void killedWriterLeavesAllOrNothing()
    {
        QFETCH(int, killAtRow);
        const int count = 150000;
        StoreFixture fx;
        {
            auto store = fx.open(); // an earlier, committed record must survive
            QVERIFY(store->insert(Note{}));
        }
        QProcess writer;
        QStringList args{fx.path, QString::number(count)};
        if (killAtRow >= 0)
            args << QString::number(killAtRow);
        writer.start(QStringLiteral(STORE_WRITER), args);
        QVERIFY(writer.waitForStarted());
        const auto nextLine = [&writer] {
            while (!writer.canReadLine())
                if (!writer.waitForReadyRead(60000))
                    return QByteArray();
            return writer.readLine().trimmed();
        };
        QCOMPARE(nextLine(), QByteArray("begin"));
        if (killAtRow >= 0) {
            QCOMPARE(nextLine(), QByteArray("paused"));
            ::kill(pid_t(writer.processId()), SIGKILL);
            QVERIFY(writer.waitForFinished(60000));
            QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
        } else {
            QVERIFY(writer.waitForFinished(60000));
            QCOMPARE(writer.exitStatus(), QProcess::NormalExit);
            QCOMPARE(writer.exitCode(), 0);
        }

        auto store = fx.open();
        QVERIFY(store);
        QCOMPARE(store->count<Transcription>(), killAtRow >= 0 ? 0 : qint64(count));
        QCOMPARE(store->count<Note>(), 1);
        // The store stays usable after the crash.
        QVERIFY(store->insert(Transcription{}));
    }
};

QTEST_GUILESS_MAIN(TestStoreCrash)
#include "tst_storecrash.moc"
