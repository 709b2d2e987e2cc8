#include "QtNetworkPathMonitor.h"

#include <QNetworkInformation>

namespace {

NetworkPathStatus statusOf(QNetworkInformation::Reachability r)
{
    switch (r) {
    case QNetworkInformation::Reachability::Disconnected:
    case QNetworkInformation::Reachability::Local:
        return NetworkPathStatus::unsatisfied;
    case QNetworkInformation::Reachability::Site:
        return NetworkPathStatus::requiresConnection;
    case QNetworkInformation::Reachability::Online:
    case QNetworkInformation::Reachability::Unknown:
        return NetworkPathStatus::satisfied;
    }
    return NetworkPathStatus::satisfied;
}

} // namespace

QtNetworkPathMonitor::~QtNetworkPathMonitor() { QObject::disconnect(m_connection); }

void QtNetworkPathMonitor::start()
{
    if (m_started)
        return;
    m_started = true;
    if (!QNetworkInformation::instance())
        QNetworkInformation::loadDefaultBackend();
    if (QNetworkInformation* info = QNetworkInformation::instance())
        m_connection = QObject::connect(info, &QNetworkInformation::reachabilityChanged, info,
                                        [this](QNetworkInformation::Reachability r) {
                                            if (m_handler)
                                                m_handler(statusOf(r));
                                        });
}

NetworkPathStatus QtNetworkPathMonitor::currentStatus() const
{
    const QNetworkInformation* info = QNetworkInformation::instance();
    return info ? statusOf(info->reachability()) : NetworkPathStatus::satisfied;
}
