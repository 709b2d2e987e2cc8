#include "AtspiBrowserAddress.h"

#include "AtspiApplicationId.h"

#include <QCoroDBusPendingCall>
#include <QRegularExpression>
#include <QUrl>

namespace {
// A browser's chrome is a few hundred objects; the page's own content is never walked.
constexpr int kMaxObjects = 4000;

QString quoted(const QString& applicationId) { return QStringLiteral("« %1 »").arg(applicationId); }

bool isDocument(uint role) { return role == Atspi::RoleDocumentWeb || role == Atspi::RoleDocumentFrame; }
bool isTextField(uint role) { return role == Atspi::RoleEntry || role == Atspi::RoleText; }

// A document's own address, as long as it is one of a page (not about:blank, not empty).
bool isPageAddress(const QString& url)
{
    const QUrl parsed(url.trimmed());
    return parsed.isValid() && !parsed.scheme().isEmpty() && url.trimmed() != QLatin1String("about:blank");
}
// An address as a bar shows it: browsers leave out the scheme and "www.", and the last "/".
QString shownForm(QString url)
{
    url = url.trimmed().toLower();
    for (const QLatin1String prefix : {QLatin1String("https://"), QLatin1String("http://"), QLatin1String("www.")})
        if (url.startsWith(prefix))
            url.remove(0, prefix.size());
    if (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

// Of several pages that say they are shown, the one the address bar shows; the first when the
// bar shows none of them (the user is typing in it).
QString pageShownInBar(const QStringList& pages, const QString& barText)
{
    const QString bar = shownForm(barText);
    if (!bar.isEmpty())
        for (const QString& page : pages)
            if (shownForm(page) == bar)
                return page;
    return pages.constFirst();
}
} // namespace

AtspiBrowserAddress::AtspiBrowserAddress(AtspiConnection& connection, std::chrono::milliseconds budget)
    : m_atspi(connection), m_budget(budget)
{
}

bool AtspiBrowserAddress::isAddressBarName(const QString& name)
{
    static const QRegularExpression words(
        QStringLiteral("\\b(address|adresse|url|location|emplacement|adresa|indirizzo|direcci[oó]n|endere[cç]o)\\b"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    return words.match(name).hasMatch();
}

QString AtspiBrowserAddress::failure(const QString& reason) const
{
    return QStringLiteral("adresse illisible — ") + reason;
}

QCoro::Task<Expected<QString, QString>> AtspiBrowserAddress::frontPageAddress(QString applicationId)
{
    const QDeadlineTimer deadline(m_budget);
    const Expected<void, QString> connected = co_await m_atspi.ensureConnected(deadline);
    if (!connected)
        co_return unexpected(failure(connected.error()));
    const auto applications = co_await findApplications(applicationId, deadline);
    if (!applications)
        co_return unexpected(applications.error());
    const auto window = co_await frontWindow(*applications, applicationId, deadline);
    if (!window)
        co_return unexpected(window.error());
    co_return co_await addressIn(*window, applicationId, deadline);
}

QCoro::Task<Expected<QList<AccessibleRef>, QString>> AtspiBrowserAddress::findApplications(QString applicationId,
                                                                                          QDeadlineTimer deadline)
{
    const QString timeout = failure(QStringLiteral("le bus d'accessibilité n'a pas répondu à temps"));
    const QDBusMessage listed = co_await m_atspi.children(AtspiConnection::registryRoot(), deadline);
    const auto applications = AtspiConnection::childrenOf(listed);
    if (!applications)
        co_return unexpected(AtspiConnection::isUnanswered(listed) ? timeout
                                                   : failure(QStringLiteral("registre d'accessibilité injoignable : ") +
                                                             applications.error()));
    // Names and processes of every application at once: one round trip, not one per application.
    QList<QDBusPendingCall> names, pids;
    for (const AccessibleRef& app : *applications) {
        names << m_atspi.name(app, deadline);
        pids << m_atspi.processId(app.service, deadline);
    }
    bool unanswered = false;
    QList<AccessibleRef> matching;
    for (qsizetype i = 0; i < applications->size(); ++i) {
        const QDBusMessage nameReply = co_await names[i];
        unanswered = unanswered || AtspiConnection::isUnanswered(nameReply);
        const auto name = AtspiConnection::propertyStringOf(nameReply);
        const auto pid = AtspiConnection::uintOf(co_await pids[i]);
        const QString executable = pid ? AtspiApplicationId::executableOf(*pid) : QString();
        if (AtspiApplicationId::matches(applicationId, name ? *name : QString(), executable))
            matching << applications->at(i);
    }
    if (!matching.isEmpty())
        co_return matching;
    // A hung application may be the one asked for: say so rather than "absent".
    if (unanswered || deadline.hasExpired())
        co_return unexpected(timeout);
    co_return unexpected(failure(
        quoted(applicationId) +
        QStringLiteral(" n'apparaît pas sur le bus d'accessibilité : activez l'accessibilité du bureau (gsettings set "
                       "org.gnome.desktop.interface toolkit-accessibility true) puis relancez le navigateur ; Chromium, "
                       "Chrome, Brave et Edge demandent aussi --force-renderer-accessibility")));
}

QCoro::Task<Expected<AccessibleRef, QString>> AtspiBrowserAddress::frontWindow(QList<AccessibleRef> applications,
                                                                               QString applicationId,
                                                                               QDeadlineTimer deadline)
{
    QList<QDBusPendingCall> windowLists;
    for (const AccessibleRef& application : applications)
        windowLists << m_atspi.children(application, deadline);
    QList<AccessibleRef> windows;
    QString lastError;
    for (QDBusPendingCall& call : windowLists) {
        const auto found = AtspiConnection::childrenOf(co_await call);
        if (found)
            windows << *found;
        else
            lastError = found.error();
    }
    if (windows.isEmpty() && !lastError.isEmpty())
        co_return unexpected(failure(quoted(applicationId) + QStringLiteral(" ne répond plus : ") + lastError));
    QList<QDBusPendingCall> states;
    for (const AccessibleRef& window : windows)
        states << m_atspi.states(window, deadline);
    std::optional<AccessibleRef> showing;
    for (qsizetype i = 0; i < windows.size(); ++i) {
        const auto s = AtspiConnection::statesOf(co_await states[i]);
        if (!s)
            continue;
        if (Atspi::hasState(*s, Atspi::StateActive))
            co_return windows.at(i);
        if (!showing && Atspi::hasState(*s, Atspi::StateShowing))
            showing = windows.at(i);
    }
    // Without a window manager no window is ever active: the one on screen is the front one.
    if (showing)
        co_return *showing;
    co_return unexpected(failure(quoted(applicationId) + QStringLiteral(" n'a aucune fenêtre ouverte")));
}

QCoro::Task<Expected<QString, QString>> AtspiBrowserAddress::addressIn(AccessibleRef window, QString applicationId,
                                                                       QDeadlineTimer deadline)
{
    // Breadth first, one level at a time with every call of a level in flight together.
    QList<AccessibleRef> level{window};
    std::optional<AccessibleRef> addressBar;
    QStringList shownPages;
    bool unanswered = false;
    int visited = 0;
    while (!level.isEmpty() && visited < kMaxObjects && !deadline.hasExpired()) {
        visited += int(level.size());
        QList<QDBusPendingCall> roles;
        for (const AccessibleRef& object : level)
            roles << m_atspi.role(object, deadline);
        QList<uint> roleOf;
        for (QDBusPendingCall& call : roles) {
            const QDBusMessage reply = co_await call;
            unanswered = unanswered || AtspiConnection::isUnanswered(reply);
            const auto role = AtspiConnection::uintOf(reply);
            roleOf << (role ? *role : 0u);
        }

        // Documents first: the shown one's own address is the most reliable.
        QList<qsizetype> documents, fields, containers;
        for (qsizetype i = 0; i < level.size(); ++i) {
            if (isDocument(roleOf[i]))
                documents << i;
            else if (isTextField(roleOf[i]))
                fields << i;
            else
                containers << i;
        }
        QList<QDBusPendingCall> docStates, docUrls, docUris, fieldNames, childLists;
        for (qsizetype i : documents) {
            docStates << m_atspi.states(level[i], deadline);
            // Gecko names it DocURL, WebKit and others URI.
            docUrls << m_atspi.documentAttribute(level[i], QStringLiteral("DocURL"), deadline);
            docUris << m_atspi.documentAttribute(level[i], QStringLiteral("URI"), deadline);
        }
        if (!addressBar)
            for (qsizetype i : fields)
                fieldNames << m_atspi.name(level[i], deadline);
        for (qsizetype i : containers)
            childLists << m_atspi.children(level[i], deadline);

        for (qsizetype k = 0; k < documents.size(); ++k) {
            const auto states = AtspiConnection::statesOf(co_await docStates[k]);
            auto url = AtspiConnection::stringOf(co_await docUrls[k]);
            if (!url || !isPageAddress(*url))
                url = AtspiConnection::stringOf(co_await docUris[k]);
            if (states && Atspi::hasState(*states, Atspi::StateShowing) && url && isPageAddress(*url))
                shownPages << url->trimmed();
        }
        for (qsizetype k = 0; k < fieldNames.size(); ++k) {
            const auto name = AtspiConnection::propertyStringOf(co_await fieldNames[k]);
            if (!addressBar && name && isAddressBarName(*name))
                addressBar = level[fields[k]];
        }
        // Background tabs may still call themselves shown: then the address bar decides, so
        // the walk goes on until it is found.
        if (shownPages.size() == 1)
            co_return shownPages.constFirst();
        if (shownPages.size() > 1 && addressBar)
            break;
        QList<AccessibleRef> next;
        for (QDBusPendingCall& call : childLists)
            if (const auto children = AtspiConnection::childrenOf(co_await call))
                next << *children;
        level = next;
    }
    if (addressBar) {
        const auto text = AtspiConnection::stringOf(co_await m_atspi.text(*addressBar, deadline));
        if (!shownPages.isEmpty())
            co_return pageShownInBar(shownPages, text ? *text : QString());
        if (!text)
            co_return unexpected(failure(QStringLiteral("barre d'adresse de ") + quoted(applicationId) +
                                         QStringLiteral(" illisible : ") + text.error()));
        if (text->trimmed().isEmpty())
            co_return unexpected(failure(QStringLiteral("la barre d'adresse de ") + quoted(applicationId) +
                                         QStringLiteral(" est vide")));
        co_return text->trimmed();
    }
    if (!shownPages.isEmpty())
        co_return shownPages.constFirst();
    if (unanswered || deadline.hasExpired())
        co_return unexpected(failure(quoted(applicationId) + QStringLiteral(" n'a pas répondu dans les %1 ms")
                                                                 .arg(qint64(m_budget.count()))));
    co_return unexpected(failure(QStringLiteral("ni page ni barre d'adresse dans la fenêtre de ") + quoted(applicationId)));
}
