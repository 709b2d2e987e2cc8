#include "OvraHelperSection.h"

#include "helper/MacHelperReceiver.h"

#include <QCheckBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkInterface>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// The addresses a phone on the local network can reach: IPv4 of the interfaces that are up.
QStringList localAddresses()
{
    QStringList out;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        if (!(i.flags() & QNetworkInterface::IsUp) || (i.flags() & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& e : i.addressEntries())
            if (e.ip().protocol() == QAbstractSocket::IPv4Protocol)
                out << e.ip().toString();
    }
    return out;
}

QString shortDate(const QDateTime& d)
{
    return d.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm"));
}

} // namespace

OvraHelperSection::OvraHelperSection(SectionContext& context, QWidget* parent)
    : Section(MacSection::ovraHelper, parent), m_receiver(context.helper)
{
    auto* layout = new QVBoxLayout(this);
    if (!m_receiver) {
        layout->addWidget(new QLabel(QStringLiteral("Le récepteur du téléphone n'est pas disponible."), this));
        layout->addStretch();
        return;
    }
    auto* intro = new QLabel(
        QStringLiteral("Dictez sur votre téléphone, le texte arrive ici : collé à l'emplacement du curseur ou copié "
                       "dans le presse-papier."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    m_enabled = new QCheckBox(QStringLiteral("Recevoir le texte du téléphone"), this);
    m_autoPaste = new QCheckBox(QStringLiteral("Coller automatiquement à l'emplacement du curseur"), this);
    layout->addWidget(m_enabled);
    layout->addWidget(m_autoPaste);
    m_status = new QLabel(this);
    m_address = new QLabel(this);
    m_address->setWordWrap(true);
    m_address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_status);
    layout->addWidget(m_address);

    auto* pairRow = new QHBoxLayout;
    m_pair = new QPushButton(QStringLiteral("Associer un téléphone"), this);
    m_cancelPair = new QPushButton(QStringLiteral("Annuler"), this);
    pairRow->addWidget(m_pair);
    pairRow->addWidget(m_cancelPair);
    pairRow->addStretch();
    layout->addLayout(pairRow);
    m_code = new QLabel(this);
    QFont big = m_code->font();
    big.setPointSize(big.pointSize() * 3);
    big.setBold(true);
    big.setLetterSpacing(QFont::AbsoluteSpacing, 6);
    m_code->setFont(big);
    m_code->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_timeLeft = new QLabel(this);
    layout->addWidget(m_code);
    layout->addWidget(m_timeLeft);

    layout->addWidget(new QLabel(QStringLiteral("Téléphones associés"), this));
    m_phones = new QTableWidget(0, 4, this);
    m_phones->setHorizontalHeaderLabels(
        {QStringLiteral("Nom"), QStringLiteral("Type"), QStringLiteral("Associé le"), QString()});
    m_phones->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_phones->verticalHeader()->hide();
    m_phones->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_phones->setSelectionMode(QAbstractItemView::NoSelection);
    layout->addWidget(m_phones);
    m_last = new QLabel(this);
    m_last->setWordWrap(true);
    layout->addWidget(m_last);

    connect(m_enabled, &QCheckBox::toggled, m_receiver, &MacHelperReceiver::setEnabled);
    connect(m_autoPaste, &QCheckBox::toggled, m_receiver, &MacHelperReceiver::setAutoPaste);
    connect(m_pair, &QPushButton::clicked, m_receiver, &MacHelperReceiver::startPairing);
    connect(m_cancelPair, &QPushButton::clicked, m_receiver, &MacHelperReceiver::endPairing);
    connect(m_receiver, &MacHelperReceiver::isEnabledChanged, this, &OvraHelperSection::refreshState);
    connect(m_receiver, &MacHelperReceiver::autoPasteChanged, this, &OvraHelperSection::refreshState);
    connect(m_receiver, &MacHelperReceiver::isRunningChanged, this, &OvraHelperSection::refreshState);
    connect(m_receiver, &MacHelperReceiver::portChanged, this, &OvraHelperSection::refreshState);
    connect(m_receiver, &MacHelperReceiver::advertisedChanged, this, &OvraHelperSection::refreshState);
    connect(m_receiver, &MacHelperReceiver::pairingChanged, this, &OvraHelperSection::refreshPairing);
    connect(m_receiver, &MacHelperReceiver::pairedPhonesChanged, this, &OvraHelperSection::refreshPhones);
    connect(m_receiver, &MacHelperReceiver::lastReceivedChanged, this, &OvraHelperSection::refreshLast);
    // The time left of the pairing window, once a second while it is open.
    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, &OvraHelperSection::refreshPairing);
    layout->addStretch();

    refreshState();
    refreshPairing();
    refreshPhones();
    refreshLast();
}

void OvraHelperSection::refreshState()
{
    const QSignalBlocker a(m_enabled), b(m_autoPaste);
    m_enabled->setChecked(m_receiver->isEnabled());
    m_autoPaste->setChecked(m_receiver->autoPaste());
    const quint16 port = m_receiver->port();
    if (!m_receiver->isEnabled())
        m_status->setText(QStringLiteral("Réception désactivée."));
    else if (!m_receiver->isRunning())
        m_status->setText(QStringLiteral("Démarrage de l'écoute…"));
    else
        m_status->setText(QStringLiteral("À l'écoute sur le port TCP %1 de « %2 ».").arg(port).arg(m_receiver->helperName()));
    if (!m_receiver->isRunning()) {
        m_address->clear();
        return;
    }
    QString text;
    if (!m_receiver->isAdvertised()) {
        const QStringList addresses = localAddresses();
        text = QStringLiteral("Ce poste ne s'annonce pas sur le réseau local (service Avahi absent) : indiquez au "
                              "téléphone l'adresse %1 et le port %2.")
                   .arg(addresses.isEmpty() ? QStringLiteral("de ce poste") : addresses.join(QStringLiteral(" ou ")))
                   .arg(port);
        text += u' ';
    }
    text += QStringLiteral("Si un pare-feu filtre les connexions entrantes, ouvrez le port TCP %1 "
                           "(réglage « ovra.mac.helper.port » pour le fixer).")
                .arg(port);
    m_address->setText(text);
}

void OvraHelperSection::refreshPairing()
{
    const auto code = m_receiver->pairingCode();
    const auto until = m_receiver->pairingUntil();
    const qint64 left = until ? QDateTime::currentDateTimeUtc().secsTo(*until) : 0;
    const bool open = code && left > 0;
    m_code->setVisible(open);
    m_timeLeft->setVisible(open);
    m_cancelPair->setVisible(open);
    m_pair->setEnabled(!open);
    if (!open) {
        m_tick.stop();
        m_code->clear();
        m_timeLeft->clear();
        return;
    }
    m_code->setText(code->left(3) + u' ' + code->mid(3));
    m_timeLeft->setText(QStringLiteral("Saisissez ce code sur le téléphone — encore %1:%2")
                            .arg(left / 60)
                            .arg(left % 60, 2, 10, QLatin1Char('0')));
    if (!m_tick.isActive())
        m_tick.start();
}

void OvraHelperSection::refreshPhones()
{
    const auto& phones = m_receiver->pairedPhones();
    m_phones->setRowCount(int(phones.size()));
    for (int row = 0; row < phones.size(); ++row) {
        const HelperPairedPhone& p = phones[row];
        m_phones->setItem(row, 0, new QTableWidgetItem(p.name));
        m_phones->setItem(row, 1, new QTableWidgetItem(p.deviceType.value_or(QString())));
        m_phones->setItem(row, 2, new QTableWidgetItem(shortDate(p.pairedAt)));
        auto* remove = new QPushButton(QStringLiteral("Retirer"), m_phones);
        connect(remove, &QPushButton::clicked, this, [this, id = p.id, name = p.name] {
            const auto answer = QMessageBox::question(
                this, QStringLiteral("Retirer le téléphone"),
                QStringLiteral("Retirer « %1 » ? Il ne pourra plus envoyer de texte sans nouvelle association.").arg(name));
            if (answer == QMessageBox::Yes)
                m_receiver->removePhone(id);
        });
        m_phones->setCellWidget(row, 3, remove);
    }
    if (phones.isEmpty()) {
        m_phones->setRowCount(1);
        m_phones->setItem(0, 0, new QTableWidgetItem(QStringLiteral("Aucun téléphone associé")));
    }
}

void OvraHelperSection::removePhoneAt(int row)
{
    const auto& phones = m_receiver->pairedPhones();
    if (row >= 0 && row < phones.size())
        m_receiver->removePhone(phones[row].id);
}

void OvraHelperSection::refreshLast()
{
    const auto last = m_receiver->lastReceived();
    if (!last) {
        m_last->setText(QStringLiteral("Aucun texte reçu pour l'instant."));
        return;
    }
    m_last->setText(QStringLiteral("Dernier texte reçu de « %1 » le %2 — %3")
                        .arg(last->deviceName, shortDate(last->date), last->deliveryText()));
}
