// The phone receiver over loopback.
// - BM_PushToDelivered: from the phone opening its connection to the text handed to delivery
//   (target: 20 ms or less; counters p50_ms, p95_ms).
// - BM_MalformedFlood: 1,000 malformed frames a second for 10 s while a paired phone pushes every
//   second (targets: every push delivered; resident memory flat, counter rss_growth_kb).
#include "AwaitTask.h"
#include "ai/KeychainManager.h"
#include "helper/HelperDelivery.h"
#include "helper/HelperPhoneClient.h"
#include "helper/MacHelperReceiver.h"
#include "platform/linux/secret/MemorySecretStore.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <vector>

namespace {

struct CountingDelivery : HelperDelivery
{
    int delivered = 0;
    bool pasteAtCursor(const QString&) override { return ++delivered, true; }
    void copyToClipboard(const QString&) override { ++delivered; }
};

const QString kPhone = QStringLiteral("BENCH-PHONE");

struct Receiver
{
    QTemporaryDir dir;
    Settings settings{dir.path()};
    DebugLog log{dir.path()};
    MemorySecretStore secrets;
    KeychainManager keychain{secrets};
    CountingDelivery delivery;
    MacHelperReceiver receiver{settings, keychain, delivery, log, nullptr, {QStringLiteral("Banc")}};
    QByteArray secret = HelperProtocol::randomBytes(32);

    bool ready()
    {
        receiver.setEnabled(true);
        QElapsedTimer t;
        t.start();
        while (!receiver.isRunning() && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (!receiver.isRunning())
            return false;
        receiver.startPairing();
        const QByteArray key = HelperProtocol::deriveKey(*receiver.pairingCode(), kPhone);
        auto reply = awaitTask(client().exchange(
            HelperPhoneRequests::pair(key, kPhone, QStringLiteral("Banc"), QStringLiteral("iphone"), secret, 0)));
        return reply && reply->type == HelperMessageType::pairOK;
    }
    HelperPhoneClient client() const { return HelperPhoneClient(QStringLiteral("127.0.0.1"), receiver.port()); }
    Message push() const
    {
        return HelperPhoneRequests::push(secret, kPhone, QStringLiteral("Bonjour depuis le téléphone"),
                                         QStringLiteral("Banc"), QDateTime::currentSecsSinceEpoch());
    }
};

qint64 residentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

} // namespace

static void BM_PushToDelivered(benchmark::State& state)
{
    Receiver r;
    if (!r.ready()) {
        state.SkipWithError("receiver not ready");
        return;
    }
    QList<double> ms;
    for (auto _ : state) {
        const Message push = r.push();
        const int before = r.delivery.delivered;
        QElapsedTimer t;
        t.start();
        HelperPhoneClient client = r.client();
        auto task = client.exchange(push);
        while (r.delivery.delivered == before && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        const double elapsed = double(t.nsecsElapsed()) / 1e6;
        state.SetIterationTime(elapsed / 1000.0);
        ms << elapsed;
        (void)awaitTask(std::move(task)); // the reply, outside the measure
    }
    std::sort(ms.begin(), ms.end());
    state.counters["p50_ms"] = ms.value(ms.size() / 2);
    state.counters["p95_ms"] = ms.value(std::min<qsizetype>(ms.size() - 1, ms.size() * 95 / 100));
}
BENCHMARK(BM_PushToDelivered)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);

static void BM_MalformedFlood(benchmark::State& state)
{
    Receiver r;
    if (!r.ready()) {
        state.SkipWithError("receiver not ready");
        return;
    }
    // Three kinds of bad input: a length over the limit, a zero length, and JSON that is no message.
    QByteArray tooLong(4, Qt::Uninitialized);
    qToBigEndian<quint32>(1048577, tooLong.data());
    const QList<QByteArray> bad{tooLong + "{}", QByteArray(4, '\0'), QByteArray("\0\0\0\2[]", 6)};
    for (auto _ : state) {
        const qint64 rssStart = residentKb();
        int sentPushes = 0;
        const int deliveredBefore = r.delivery.delivered;
        qint64 malformed = 0;
        QTimer flood;
        flood.setInterval(1);
        QElapsedTimer clock;
        clock.start();
        QObject::connect(&flood, &QTimer::timeout, [&] {
            // Keep pace with 1,000 a second whatever the timer's granularity.
            while (malformed < clock.elapsed()) {
                auto* s = new QTcpSocket;
                const QByteArray frame = bad[malformed % bad.size()];
                QObject::connect(s, &QTcpSocket::connected, s, [s, frame] { s->write(frame); });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
                QObject::connect(s, &QTcpSocket::errorOccurred, s, &QObject::deleteLater);
                s->connectToHost(QHostAddress::LocalHost, r.receiver.port());
                ++malformed;
            }
        });
        QTimer pusher;
        pusher.setInterval(1000);
        std::vector<QCoro::Task<Expected<Message, QString>>> replies;
        QObject::connect(&pusher, &QTimer::timeout, [&] {
            ++sentPushes;
            replies.push_back(r.client().exchange(r.push()));
        });
        flood.start();
        pusher.start();
        QEventLoop loop;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        flood.stop();
        pusher.stop();
        int failures = 0;
        for (auto& t : replies) {
            const auto reply = awaitTask(std::move(t));
            if (!reply || reply->type != HelperMessageType::ok) {
                if (++failures == 1)
                    fprintf(stderr, "push refused: %s\n",
                            qPrintable(reply ? reply->reason.value_or(reply->type) : reply.error()));
            }
        }
        state.counters["push_failures"] = failures;
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        state.counters["malformed_sent"] = double(malformed);
        state.counters["pushes_sent"] = sentPushes;
        state.counters["pushes_delivered"] = r.delivery.delivered - deliveredBefore;
        state.counters["rss_start_kb"] = double(rssStart);
        state.counters["rss_growth_kb"] = double(residentKb() - rssStart);
    }
}
BENCHMARK(BM_MalformedFlood)->Unit(benchmark::kSecond)->Iterations(2);
