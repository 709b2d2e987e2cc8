// The shortcut recorder: which key presses make a combination, and the keys that cancel or
// remove it while recording.
#include "ui/widgets/ShortcutRecorder.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(std::optional<KeyCombo>)

class TestShortcutRecorder : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void comboFor_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("combo"); // empty: refused
        QTest::newRow("letter") << int(Qt::Key_D) << int(Qt::AltModifier | Qt::MetaModifier) << "alt+super+d";
        QTest::newRow("shift letter stays lower case") << int(Qt::Key_K) << int(Qt::ControlModifier | Qt::ShiftModifier)
                                                       << "ctrl+shift+k";
        QTest::newRow("digit") << int(Qt::Key_7) << int(Qt::ControlModifier) << "ctrl+7";
        QTest::newRow("function key alone") << int(Qt::Key_F9) << 0 << "F9";
        QTest::newRow("F35") << int(Qt::Key_F35) << 0 << "F35";
        QTest::newRow("space") << int(Qt::Key_Space) << int(Qt::ControlModifier) << "ctrl+space";
        QTest::newRow("page down") << int(Qt::Key_PageDown) << int(Qt::AltModifier) << "alt+Next";
        QTest::newRow("comma") << int(Qt::Key_Comma) << int(Qt::MetaModifier) << "super+comma";
        QTest::newRow("letter alone refused") << int(Qt::Key_A) << 0 << "";
        QTest::newRow("unknown key refused") << int(Qt::Key_Eacute) << int(Qt::ControlModifier) << "";
        QTest::newRow("shifted symbol refused") << int(Qt::Key_Exclam) << int(Qt::ShiftModifier) << "";
    }
    void comboFor()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, combo);
        const auto got = ShortcutRecorder::comboFor(key, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(got.hasValue(), !combo.isEmpty());
        if (got)
            QCOMPARE(got->toString(), combo);
        else
            QVERIFY(!got.error().isEmpty());
    }

    void recordingWithTheKeyboard()
    {
        ShortcutRecorder recorder;
        recorder.show();
        QVERIFY(QTest::qWaitForWindowExposed(&recorder));
        QSignalSpy edited(&recorder, &ShortcutRecorder::comboEdited);
        auto* button = recorder.findChild<QPushButton*>();
        QVERIFY(button);

        recorder.startRecording();
        QTest::keyClick(button, Qt::Key_A); // refused: stays recording with a message
        QVERIFY(recorder.isRecording());
        QVERIFY(!recorder.error().isEmpty());
        QTest::keyClick(button, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(!recorder.isRecording());
        QCOMPARE(edited.size(), 1);
        QCOMPARE(recorder.combo()->toString(), QStringLiteral("ctrl+alt+k"));

        recorder.startRecording();
        QTest::keyClick(button, Qt::Key_Escape);
        QVERIFY(!recorder.isRecording());
        QCOMPARE(edited.size(), 1);
        QCOMPARE(recorder.combo()->toString(), QStringLiteral("ctrl+alt+k"));

        recorder.startRecording();
        QTest::keyClick(button, Qt::Key_Backspace);
        QCOMPARE(edited.size(), 2);
        QCOMPARE(recorder.combo(), std::nullopt);
    }
};

QTEST_MAIN(TestShortcutRecorder)
#include "tst_shortcutrecorder.moc"
