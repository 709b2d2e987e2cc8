// scripts/screenshots.sh works and what it takes is a drawn window, not a blank frame.
#include <QHash>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class ScreenshotsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void windowAndPanelAreDrawn()
    {
        QTemporaryDir out;
        QProcess script;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("BUILD_DIR", QStringLiteral(OVRA_BUILD_DIR));
        env.insert("SECTIONS", "modes");
        env.insert("PANEL", "1");
        env.remove("QT_QPA_PLATFORM");
        script.setProcessEnvironment(env);
        script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        script.start(QStringLiteral(OVRA_SOURCE_DIR "/scripts/screenshots.sh"), {out.path()});
        QVERIFY(script.waitForFinished(120000));
        QCOMPARE(script.exitCode(), 0);

        for (const QString& name : {QStringLiteral("window-modes.png"), QStringLiteral("panel-bottom-recording.png")}) {
            const QImage image(out.filePath(name));
            QVERIFY2(!image.isNull(), qPrintable(name));
            QHash<QRgb, int> colours;
            for (int y = 0; y < image.height(); y += 2)
                for (int x = 0; x < image.width(); x += 2)
                    ++colours[image.pixel(x, y)];
            int most = 0;
            for (int n : std::as_const(colours))
                most = std::max(most, n);
            const int total = ((image.width() + 1) / 2) * ((image.height() + 1) / 2);
            // Text, sidebar, bars: many colours, and no single one covering almost everything.
            QVERIFY2(colours.size() >= 8, qPrintable(name));
            QVERIFY2(most < total * 0.97, qPrintable(name));
        }
        QCOMPARE(QImage(out.filePath("window-modes.png")).size().width() >= 580, true);
    }
};

QTEST_GUILESS_MAIN(ScreenshotsTest)
#include "tst_screenshots.moc"
