// Word-level diff of a rewrite proposal against its baseline.
#include "ai/ProposalDiff.h"

#include <QTest>

using namespace ProposalDiff;

class TestProposalDiff : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void markedDiff_data();
    void markedDiff();
    void tokenLimit_data();
    void tokenLimit();
    void scriptIsMinimal();
};

void TestProposalDiff::markedDiff_data()
{
    QTest::addColumn<QString>("baseline");
    QTest::addColumn<QString>("proposal");
    QTest::addColumn<QString>("expected");

    QTest::newRow("identical") << "Bonjour le monde" << "Bonjour le monde" << "Bonjour le monde";
    QTest::newRow("changed word") << "le chat dort" << "le chien dort" << "le [-chat-] {+chien+} dort";
    QTest::newRow("removed before inserted") << "a b c" << "x y c" << "[-a-] [-b-] {+x+} {+y+} c";
    QTest::newRow("runs of spaces collapse") << "  un   deux\t trois " << "un deux trois" << "un deux trois";
    QTest::newRow("line breaks kept") << "a b\nc" << "a   b\n\nc" << "a b\n{+\n+}c";
    QTest::newRow("crlf is one break") << "a\r\nb" << "a\nb" << "a\nb";
    QTest::newRow("unicode separators break lines") << QString("a") + QChar(0x2028) + "b" << "a\nb" << "a\nb";
    QTest::newRow("empty baseline") << "" << "x y" << "{+x+} {+y+}";
    QTest::newRow("empty proposal") << "x y" << " \n " << "[-x-] [-y-]{+\n+}";
    QTest::newRow("both empty") << "" << "" << "";
    QTest::newRow("punctuation is part of the word") << "Bonjour, monde" << "Bonjour monde." << "[-Bonjour,-] [-monde-] {+Bonjour+} {+monde.+}";
    QTest::newRow("moved word") << "a b c d" << "b c d a" << "[-a-] b c d {+a+}";
    QTest::newRow("case matters") << "Paris" << "paris" << "[-Paris-] {+paris+}";
}

void TestProposalDiff::markedDiff()
{
    QFETCH(QString, baseline);
    QFETCH(QString, proposal);
    QFETCH(QString, expected);
    const auto pieces = compute(baseline, proposal);
    QVERIFY(pieces);
    QCOMPARE(toMarkedText(*pieces), expected);
}

namespace {
QString words(int count, const QString& prefix)
{
    QStringList w;
    for (int i = 0; i < count; ++i)
        w << prefix + QString::number(i);
    return w.join(QLatin1Char(' '));
}
} // namespace

void TestProposalDiff::tokenLimit_data()
{
    QTest::addColumn<QString>("baseline");
    QTest::addColumn<QString>("proposal");
    QTest::addColumn<bool>("available");

    QTest::newRow("3000 + 3000") << words(3000, "a") << words(3000, "b") << true;
    QTest::newRow("3000 + 3001") << words(3000, "a") << words(3001, "b") << false;
    QTest::newRow("line breaks count") << words(3000, "a") << words(2999, "b") + "\n\n" << false;
    QTest::newRow("6000 + 0") << words(6000, "a") << "" << true;
    QTest::newRow("6001 + 0") << words(6001, "a") << "" << false;
}

void TestProposalDiff::tokenLimit()
{
    QFETCH(QString, baseline);
    QFETCH(QString, proposal);
    QFETCH(bool, available);
    const auto pieces = compute(baseline, proposal);
    QCOMPARE(pieces.has_value(), available);
    if (pieces)
        QCOMPARE(pieces->size(), tokenize(baseline).size() + tokenize(proposal).size());
    QCOMPARE(unavailableMessage(), QStringLiteral("Modifications indisponibles pour un texte aussi long"));
}

void TestProposalDiff::scriptIsMinimal()
{
    // Every other word replaced: half of the words stay common, whatever the tie-break.
    QStringList base, proposal;
    for (int i = 0; i < 1000; ++i) {
        base << QString::number(i);
        proposal << (i % 2 ? QStringLiteral("x%1").arg(i) : QString::number(i));
    }
    const auto pieces = compute(base.join(' '), proposal.join(' '));
    QVERIFY(pieces);
    QStringList kept, rebuiltBase, rebuiltProposal;
    for (const Piece& p : *pieces) {
        if (p.kind == PieceKind::common)
            kept << p.text;
        if (p.kind != PieceKind::inserted)
            rebuiltBase << p.text;
        if (p.kind != PieceKind::removed)
            rebuiltProposal << p.text;
    }
    QCOMPARE(kept.size(), 500);
    QCOMPARE(rebuiltBase, base);
    QCOMPARE(rebuiltProposal, proposal);
}

QTEST_GUILESS_MAIN(TestProposalDiff)
#include "tst_proposaldiff.moc"
