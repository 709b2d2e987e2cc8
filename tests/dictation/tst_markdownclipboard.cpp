#include "dictation/MarkdownClipboard.h"
#include "dictation/MarkdownStyledText.h"
#include "fakes/FakePasteboard.h"

#include <QTest>

Q_DECLARE_METATYPE(TextStyle)

namespace {

TextStyle style(int size, bool bold, bool italic = false, bool strike = false) { return {size, bold, italic, strike}; }
const TextStyle body{};

// Runs as "text|size|b|i|s" lines, so a failure shows the whole conversion.
QString describe(const QList<StyledRun>& runs)
{
    QStringList out;
    for (const StyledRun& r : runs)
        out << QStringLiteral("%1|%2|%3%4%5")
                   .arg(r.text)
                   .arg(r.style.pointSize)
                   .arg(r.style.bold ? "b" : "")
                   .arg(r.style.italic ? "i" : "")
                   .arg(r.style.strike ? "s" : "");
    return out.join(QLatin1Char('\n'));
}

} // namespace

class MarkdownClipboardTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void conversion_data()
    {
        QTest::addColumn<QString>("markdown");
        QTest::addColumn<QList<StyledRun>>("runs");
        QTest::newRow("bold") << "un **mot** ici"
                              << QList<StyledRun>{{"un ", body}, {"mot", style(12, true)}, {" ici", body}};
        QTest::newRow("bold italic") << "***mot***" << QList<StyledRun>{{"mot", style(12, true, true)}};
        QTest::newRow("italic") << "un *mot*" << QList<StyledRun>{{"un ", body}, {"mot", style(12, false, true)}};
        QTest::newRow("strike") << "~~non~~ oui"
                                << QList<StyledRun>{{"non", style(12, false, false, true)}, {" oui", body}};
        QTest::newRow("heading 1") << "# Titre\ntexte"
                                   << QList<StyledRun>{{"Titre", style(21, true)}, {"\ntexte", body}};
        QTest::newRow("heading 2") << "##\tDeux" << QList<StyledRun>{{"Deux", style(18, true)}};
        QTest::newRow("heading 3") << "### Trois" << QList<StyledRun>{{"Trois", style(15, true)}};
        QTest::newRow("four hashes stay") << "#### Quatre\n- a"
                                          << QList<StyledRun>{{QStringLiteral("#### Quatre\n\u2022 a"), body}};
        QTest::newRow("bullets") << "- un\n  * deux"
                                 << QList<StyledRun>{{QStringLiteral("\u2022 un\n  \u2022 deux"), body}};
        QTest::newRow("numbered unchanged") << "1. un\n2. deux" << QList<StyledRun>{{"1. un\n2. deux", body}};
        QTest::newRow("bold inside heading")
            << "# Le **gras**" << QList<StyledRun>{{"Le gras", style(21, true)}};
        QTest::newRow("italic inside heading")
            << "## Un *peu*" << QList<StyledRun>{{"Un ", style(18, true)}, {"peu", style(18, true, true)}};
        QTest::newRow("marks across lines stay") << "**a\nb** *c"
                                                 << QList<StyledRun>{{"**a\nb** *c", body}};
    }
    void conversion()
    {
        QFETCH(QString, markdown);
        QFETCH(QList<StyledRun>, runs);
        QVERIFY(MarkdownStyledText::containsMarkdown(markdown) || describe(runs) == describe({{markdown, body}}));
        QCOMPARE(describe(MarkdownStyledText::convert(markdown)), describe(runs));
    }

    void plainTextStaysPlain_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("prose") << "Bonjour, voici une phrase.";
        QTest::newRow("lone asterisk") << "deux * trois";
        QTest::newRow("hash without space") << "#motdiese";
        QTest::newRow("asterisks on two lines") << "un *a\nb* deux";
    }
    void plainTextStaysPlain()
    {
        QFETCH(QString, text);
        FakePasteboard pasteboard;
        MarkdownClipboard(pasteboard).copy(text);
        QCOMPARE(pasteboard.clipboard.size(), 1);
        QCOMPARE(pasteboard.text(), text);
    }

    void markdownGoesAsRtfAndOriginalText()
    {
        const QString text = QStringLiteral("# Titre\nDu **gras**, de l'*italique*, ~~barré~~ et é {\\}");
        FakePasteboard pasteboard;
        MarkdownClipboard(pasteboard).copy(text);
        QCOMPARE(pasteboard.text(), text);
        const QByteArray rtf = pasteboard.data(QStringLiteral("text/rtf"));
        QCOMPARE(pasteboard.data(QStringLiteral("text/richtext")), rtf);
        QVERIFY(rtf.startsWith("{\\rtf1\\ansi"));
        QVERIFY(rtf.contains("{\\fs42\\b Titre}"));
        QVERIFY(rtf.contains("{\\fs24\\b gras}"));
        QVERIFY(rtf.contains("{\\fs24\\i italique}"));
        QVERIFY(rtf.contains("{\\fs24\\strike barr\\u233?}"));
        QVERIFY(rtf.contains("\\par\n"));
        QVERIFY(rtf.contains("\\{\\\\\\}"));
        QVERIFY(!rtf.contains('#'));
        QVERIFY(!rtf.contains('*'));
        QVERIFY(!rtf.contains('~'));
        // Every brace that is not escaped opens or closes a group, and they balance.
        int depth = 0;
        for (qsizetype i = 0; i < rtf.size(); ++i) {
            if (rtf[i] == '\\') {
                ++i;
                continue;
            }
            depth += rtf[i] == '{' ? 1 : rtf[i] == '}' ? -1 : 0;
            QVERIFY(depth >= 0);
        }
        QCOMPARE(depth, 0);
        for (const char c : rtf)
            QVERIFY2(uchar(c) < 0x80, "RTF is 7-bit");
    }

    void astralCharactersAreWrittenAsTwoUnits()
    {
        const QByteArray rtf = MarkdownStyledText::toRtf(MarkdownStyledText::convert(QStringLiteral("**\U0001F600**")));
        QVERIFY(rtf.contains("{\\fs24\\b \\u-10179?\\u-8704?}"));
    }
};

QTEST_GUILESS_MAIN(MarkdownClipboardTest)
#include "tst_markdownclipboard.moc"
