// Each built section in a window under a real X server, with a little data, grabbed to PNG
// (OVRA_SHOTS_DIR, else the working folder) and checked not to be blank.
#include "SectionRig.h"
#include "ui/SectionRegistry.h"
#include "ui/Section.h"
#include "ui/sections/HistoryListModel.h"
#include "ui/sections/HistorySection.h"
#include "ui/widgets/ProposalDiffView.h"

#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QSet>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

Q_DECLARE_METATYPE(MacSection)

namespace {
void seed(SectionRig& rig)
{
    RecordStore& s = rig.store();
    PromptPreset preset;
    preset.name = QStringLiteral("Courriel poli");
    preset.prompt = QStringLiteral("Transforme la dictée en courriel poli et bref.");
    preset.isPinned = true;
    (void)s.insert(preset);
    TranscriptionMode normal;
    (void)s.insert(normal);
    TranscriptionMode mail;
    mail.name = QStringLiteral("Courriel");
    mail.enableAIEnhancement = true;
    mail.promptPresetID = preset.id;
    mail.promptTemplate = preset.prompt;
    mail.sortOrder = 1;
    (void)s.insert(mail);
    DictionaryEntry e;
    e.term = QStringLiteral("Ovra");
    e.setPronunciations({QStringLiteral("au vrat"), QStringLiteral("ovrah")});
    e.usageCount = 12;
    (void)s.insert(e);
    const QStringList texts{QStringLiteral("Bonjour Marie, la réunion de demain est déplacée à quinze heures."),
                            QStringLiteral("Acheter du pain, du lait et des pommes."),
                            QStringLiteral("Le rapport trimestriel est prêt pour relecture.")};
    for (int i = 0; i < 12; ++i) {
        Transcription t;
        t.text = texts[i % texts.size()];
        t.rawWhisperText = t.text.toLower();
        t.afterReplacementsText = t.text;
        t.modeName = i % 2 ? mail.name : normal.name;
        t.transcriptionProvider = QStringLiteral("groq");
        t.transcriptionModel = QStringLiteral("whisper-large-v3-turbo");
        t.duration = 4.2 + i;
        t.transcriptionSeconds = 0.8;
        t.transcriptionCostUSD = 0.0012;
        t.isCloudStarred = i == 1;
        t.createdAt = QDateTime::currentDateTimeUtc().addSecs(-3600 * i);
        (void)s.insert(t);
    }
}

int distinctColours(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            colours.insert(image.pixel(x, y));
    return int(colours.size());
}
} // namespace

class TestSectionShots : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void shot_data()
    {
        QTest::addColumn<MacSection>("section");
        QTest::addColumn<bool>("dark");
        for (MacSection s : {MacSection::dictation, MacSection::history, MacSection::modes, MacSection::dictionary,
                             MacSection::prompts, MacSection::settings})
            QTest::newRow(qPrintable(sectionKey(s))) << s << false;
        QTest::newRow("history-dark") << MacSection::history << true;
    }
    void shot()
    {
        QFETCH(MacSection, section);
        QFETCH(bool, dark);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QPalette palette = QApplication::style()->standardPalette();
        if (dark) {
            palette.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
            palette.setColor(QPalette::WindowText, Qt::white);
            palette.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
            palette.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x26));
            palette.setColor(QPalette::Text, Qt::white);
            palette.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
            palette.setColor(QPalette::ButtonText, Qt::white);
        }
        QApplication::setPalette(palette);

        SectionRig rig;
        seed(rig);
        rig.controller->setActiveMode(rig.store().fetch<TranscriptionMode>().first());
        QMainWindow window;
        window.resize(760, 620);
        Section* widget = createSection(section, *rig.context, &window);
        window.setCentralWidget(widget);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        widget->activated();
        if (auto* history = qobject_cast<HistorySection*>(widget)) {
            const QUuid first = history->model().at(0)->id;
            history->select(first);
            const QString rewritten = QStringLiteral("Bonjour Marie, la réunion de demain est avancée à quatorze heures.");
            rig.chat.results.emplace_back(rewritten);
            QSignalSpy done(history, &HistorySection::reprocessFinished);
            history->reprocess(rig.store().fetch<TranscriptionMode>().first().id);
            QVERIFY(done.count() == 1 || done.wait());
            QTRY_VERIFY(history->proposalView().diffReady());
        }
        QCoreApplication::processEvents();
        const QImage image = window.grab().toImage();
        const QString folder = qEnvironmentVariable("OVRA_SHOTS_DIR", QDir::currentPath());
        QDir().mkpath(folder);
        const QString name = QStringLiteral("section-%1%2.png").arg(sectionKey(section), dark ? QStringLiteral("-dark") : QString());
        QVERIFY(image.save(QDir(folder).filePath(name)));
        QVERIFY2(distinctColours(image) > 8, qPrintable(name));
    }
};

QTEST_MAIN(TestSectionShots)
#include "tst_sectionshots.moc"
