#include "store/DebugLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {
struct Clock
{
    QDateTime now = QDateTime::fromString(QStringLiteral("2026-03-04T12:00:00Z"), Qt::ISODate);
    DebugLog::Clock fn()
    {
        return [this] { return now; };
    }
};
} // namespace

class TestDebugLog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void writesTheLineFormat()
    {
        QTemporaryDir dir;
        Clock clock;
        clock.now = QDateTime::fromString(QStringLiteral("2026-03-04T17:05:09Z"), Qt::ISODate);
        DebugLog log(dir.path(), clock.fn());
        log.log(QStringLiteral("MAC raccourci : démarrage"), QStringLiteral("FLOW"));
        log.log(QStringLiteral("APP transcribe: ok"));
        QCOMPARE(log.contents(), QStringLiteral("[2026-03-04T17:05:09Z] [FLOW] MAC raccourci : démarrage\n"
                                                "[2026-03-04T17:05:09Z] [APP] APP transcribe: ok\n"));
        QCOMPARE(log.filePath(), QDir(dir.path()).filePath(QStringLiteral("mirelo-debug.log")));
        log.clear();
        QCOMPARE(log.contents(), QString());
    }

    // The journal tells what the user dictated: its owner's only, however it was written.
    void journalIsOwnerOnly()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("data"));
        const auto perms = [](const QString& p) { return int(QFile::permissions(p)) & 0x0777; };
        {
            DebugLog log(folder);
            log.log(QStringLiteral("first"));
            (void)log.contents();
            QCOMPARE(perms(log.filePath()), 0x0600);
            QCOMPARE(perms(folder), 0x0700);
            log.clear(); // rewritten whole
            log.log(QStringLiteral("second"));
            (void)log.contents();
            QCOMPARE(perms(log.filePath()), 0x0600);
        }
        // A journal left readable by an older version is tightened.
        const QString file = QDir(folder).filePath(QStringLiteral("mirelo-debug.log"));
        QFile::setPermissions(file, QFileDevice::Permissions(0x6644));
        DebugLog log(folder);
        log.log(QStringLiteral("third"));
        (void)log.contents();
        QCOMPARE(perms(file), 0x0600);
    }

    void withoutContainerDoesNothing()
    {
        DebugLog log(QString{});
        log.log(QStringLiteral("x"));
        log.clear();
        QCOMPARE(log.contents(), QString());
        QVERIFY(log.filePath().isEmpty());
    }

    void trimsPastTwoHundredThousandBytes()
    {
        QTemporaryDir dir;
        Clock clock;
        DebugLog log(dir.path(), clock.fn());
        const QString line = QStringLiteral("[2026-03-04T12:00:00Z] [APP] ligne\n");
        {
            QFile f(log.filePath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(200000 - line.size() - 1, 'x') + '\n');
        }
        log.log(QStringLiteral("ligne"));
        (void)log.contents();
        QCOMPARE(QFileInfo(log.filePath()).size(), 200000); // exactly the limit: kept whole

        log.log(QStringLiteral("ligne"));
        const QString text = log.contents();
        QCOMPARE(text.size(), 100000);
        QVERIFY(text.endsWith(line + line));
    }

    void prunesDayOldLinesAtMostEveryTenMinutes()
    {
        QTemporaryDir dir;
        Clock clock;
        const QDateTime t0 = clock.now;
        DebugLog log(dir.path(), clock.fn());
        log.log(QStringLiteral("old")); // first append prunes (nothing to drop)
        {
            // A line with no readable time is never dropped.
            (void)log.contents();
            QFile f(log.filePath());
            QVERIFY(f.open(QIODevice::Append));
            f.write("[not a date] survivor\n");
        }
        clock.now = t0.addSecs(86399);
        log.log(QStringLiteral("a")); // prunes, but "old" is not yet a day old
        QVERIFY(log.contents().contains(QStringLiteral("old")));

        clock.now = t0.addSecs(86400 + 300);
        log.log(QStringLiteral("b")); // last pruning less than 600 s ago: no pruning
        QVERIFY(log.contents().contains(QStringLiteral("] old")));

        clock.now = t0.addSecs(86399 + 600);
        log.log(QStringLiteral("c"));
        const QString text = log.contents();
        QVERIFY(!text.contains(QStringLiteral("] old")));
        QVERIFY(text.contains(QStringLiteral("survivor")));
        QVERIFY(text.contains(QStringLiteral("] a\n")) && text.endsWith(QStringLiteral("] c\n")));
    }

    void linesFromManyThreadsAllArrive()
    {
        QTemporaryDir dir;
        DebugLog log(dir.path());
        QList<QThread*> threads;
        for (int t = 0; t < 4; ++t)
            threads << QThread::create([&log, t] {
                for (int i = 0; i < 250; ++i)
                    log.log(QStringLiteral("t%1 #%2").arg(t).arg(i));
            });
        for (QThread* th : threads)
            th->start();
        for (QThread* th : threads) {
            th->wait();
            delete th;
        }
        QCOMPARE(log.contents().count(QLatin1Char('\n')), 1000);
    }
};

QTEST_GUILESS_MAIN(TestDebugLog)
#include "tst_debuglog.moc"
