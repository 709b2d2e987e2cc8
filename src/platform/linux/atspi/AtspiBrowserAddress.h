#pragma once
// The address of a browser's front page, read on the accessibility bus: the browser's
// application is found by its identifier (accessible name or program), then in its active
// window the shown document's DocURL attribute, else the text of the address bar (an entry
// whose name speaks of an address). The whole read is bounded in time.
#include "AtspiConnection.h"
#include "platform/BrowserAddress.h"

#include <chrono>
#include <optional>

class AtspiBrowserAddress : public BrowserAddress
{
public:
    // connection: shared with other readers of the accessibility bus.
    explicit AtspiBrowserAddress(AtspiConnection& connection,
                                 std::chrono::milliseconds budget = std::chrono::milliseconds(300));

    QCoro::Task<Expected<QString, QString>> frontPageAddress(QString applicationId) override;

    // Whether an accessible name is that of an address bar (the browsers' own labels, in a few languages).
    static bool isAddressBarName(const QString& name);

private:
    // Every application the identifier names (two profiles or releases of a browser may run).
    QCoro::Task<Expected<QList<AccessibleRef>, QString>> findApplications(QString applicationId,
                                                                          QDeadlineTimer deadline);
    // Their active window, else the first one on screen.
    QCoro::Task<Expected<AccessibleRef, QString>> frontWindow(QList<AccessibleRef> applications, QString applicationId,
                                                              QDeadlineTimer deadline);
    QCoro::Task<Expected<QString, QString>> addressIn(AccessibleRef window, QString applicationId,
                                                      QDeadlineTimer deadline);
    QString failure(const QString& reason) const;

    AtspiConnection& m_atspi;
    std::chrono::milliseconds m_budget;
};
