// The phone section over a real receiver: the switches reach it, pairing shows the code and
// the time left, a paired phone is listed and removed, the last text says how it was delivered.
#include "AwaitTask.h"
#include "SectionRig.h"
#include "helper/HelperDelivery.h"
#include "helper/HelperPhoneClient.h"
#include "helper/MacHelperReceiver.h"
#include "ui/sections/OvraHelperSection.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

namespace {
struct PastingDelivery : HelperDelivery
{
    bool pasteAtCursor(const QString&) override { return true; }
    void copyToClipboard(const QString&) override {}
};
} // namespace

class TestOvraHelperSection : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void switchesPairingPhonesAndLastText()
    {
        SectionRig rig;
        PastingDelivery delivery;
        MacHelperReceiver receiver(rig.settings(), rig.services->keychain(), delivery, rig.services->log(), nullptr,
                                   {QStringLiteral("Bureau")});
        rig.context->helper = &receiver;
        OvraHelperSection section(*rig.context);

        QVERIFY(!section.enabledBox()->isChecked());
        section.enabledBox()->click();
        QVERIFY(receiver.isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(receiver.isRunning(), 10000);
        const QString port = QString::number(receiver.port());
        // Nothing announces the receiver here: the address and port are given by hand.
        QVERIFY2(section.addressLabel()->text().contains(QStringLiteral("Avahi absent")), qPrintable(section.addressLabel()->text()));
        QVERIFY(section.addressLabel()->text().contains(QStringLiteral("port TCP ") + port));
        section.autoPasteBox()->click();
        QVERIFY(receiver.autoPaste());

        QVERIFY(section.codeLabel()->isHidden());
        section.pairButton()->click();
        const QString code = *receiver.pairingCode();
        QVERIFY(!section.codeLabel()->isHidden());
        QCOMPARE(section.codeLabel()->text(), code.left(3) + u' ' + code.mid(3));
        QVERIFY2(section.timeLeftLabel()->text().contains(QRegularExpression(QStringLiteral("encore [12]:[0-5][0-9]"))),
                 qPrintable(section.timeLeftLabel()->text()));
        QVERIFY(!section.pairButton()->isEnabled());

        const QByteArray secret = HelperProtocol::randomBytes(32);
        HelperPhoneClient phone(QStringLiteral("127.0.0.1"), receiver.port());
        auto reply = awaitTask(phone.exchange(HelperPhoneRequests::pair(
            HelperProtocol::deriveKey(code, QStringLiteral("P1")), QStringLiteral("P1"), QStringLiteral("iPhone de Zoé"),
            QStringLiteral("iphone"), secret, 0)));
        QVERIFY(reply && reply->type == HelperMessageType::pairOK);
        QVERIFY(section.codeLabel()->isHidden());
        QVERIFY(section.pairButton()->isEnabled());
        QCOMPARE(section.phonesTable()->item(0, 0)->text(), QStringLiteral("iPhone de Zoé"));
        QCOMPARE(section.phonesTable()->item(0, 1)->text(), QStringLiteral("iphone"));

        QVERIFY(section.lastReceivedLabel()->text().contains(QStringLiteral("Aucun texte")));
        reply = awaitTask(phone.exchange(HelperPhoneRequests::push(secret, QStringLiteral("P1"), QStringLiteral("Salut"),
                                                                   QStringLiteral("Zoé"),
                                                                   QDateTime::currentSecsSinceEpoch())));
        QVERIFY(reply && reply->type == HelperMessageType::ok);
        QVERIFY2(section.lastReceivedLabel()->text().contains(QStringLiteral("« Zoé »")), qPrintable(section.lastReceivedLabel()->text()));
        QVERIFY(section.lastReceivedLabel()->text().endsWith(QStringLiteral("collée")));

        section.removePhoneAt(0);
        QVERIFY(receiver.pairedPhones().isEmpty());
        QCOMPARE(section.phonesTable()->item(0, 0)->text(), QStringLiteral("Aucun téléphone associé"));

        section.enabledBox()->click();
        QVERIFY(!receiver.isEnabled());
        QVERIFY(section.addressLabel()->text().isEmpty());
    }

    void withoutReceiver()
    {
        SectionRig rig;
        OvraHelperSection section(*rig.context);
        QVERIFY(!section.enabledBox());
    }
};

QTEST_MAIN(TestOvraHelperSection)
#include "tst_ovrahelpersection.moc"
