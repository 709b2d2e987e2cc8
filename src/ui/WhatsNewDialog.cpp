#include "WhatsNewDialog.h"

#include "store/Settings.h"
#include "store/SharedDefaultsKey.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

WhatsNewDialog::WhatsNewDialog(const QString& version, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("whatsNew"));
    setWindowTitle(QStringLiteral("Nouveautés d'Ovra"));
    setAccessibleName(QStringLiteral("Nouveautés d'Ovra ") + version);
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QStringLiteral("Nouveautés de la version ") + version, this);
    QFont f = title->font();
    f.setPointSizeF(f.pointSizeF() * 1.4);
    f.setBold(true);
    title->setFont(f);
    layout->addWidget(title);
    QString html = QStringLiteral("<ul>");
    for (const QString& line : notes(version))
        html += QStringLiteral("<li>") + line.toHtmlEscaped() + QStringLiteral("</li>");
    html += QStringLiteral("</ul>");
    auto* body = new QLabel(html, this);
    body->setWordWrap(true);
    body->setTextFormat(Qt::RichText);
    body->setAccessibleName(notes(version).join(QLatin1Char(' ')));
    layout->addWidget(body);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("Continuer"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

bool WhatsNewDialog::shouldShow(Settings& settings, const QString& version)
{
    const auto seen = settings.stringValue(SharedDefaultsKey::lastSeenWhatsNewVersion);
    if (!seen) {
        markSeen(settings, version);
        return false;
    }
    return *seen != version;
}

void WhatsNewDialog::markSeen(Settings& settings, const QString& version)
{
    settings.setValue(SharedDefaultsKey::lastSeenWhatsNewVersion, version);
}

QStringList WhatsNewDialog::notes(const QString&)
{
    return {QStringLiteral("Ovra vit dans la zone de notification : dictée, modes et prompts à portée de clic."),
            QStringLiteral("Une fenêtre avec l'historique, les modes, le dictionnaire, les prompts et les réglages."),
            QStringLiteral("Un panneau flottant suit la dictée sans prendre le focus de votre application."),
            QStringLiteral("Choisissez l'icône de l'application dans les réglages.")};
}
