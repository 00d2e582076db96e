#include "can/can.h"
#include "ecanvci.h"
#include "support/debugcapture.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QScopeGuard>
#include <QThread>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

namespace {

std::vector<SimSentFrame> takeSent()
{
    std::vector<SimSentFrame> out(4096);
    out.resize(SimTakeTransmitted(out.data(), uint32_t(out.size())));
    return out;
}

void inject(uint32_t ch, uint32_t id, std::initializer_list<uint8_t> bytes, uint32_t stamp = 0)
{
    std::vector<uint8_t> b(bytes);
    SimInjectFrame(ch, id, b.data(), uint8_t(b.size()), stamp);
}

// What the receive loop emitted, collected under a lock on the loop's own thread.
class Received {
public:
    struct Frame {
        QByteArray bytes;   // all 8 bytes of the slot
        int length;
        float time;
    };
    int count() const
    {
        QMutexLocker lock(&mutex_);
        return int(frames_.size());
    }
    Frame at(int i) const
    {
        QMutexLocker lock(&mutex_);
        return frames_.at(i);
    }
    QList<Frame> all() const
    {
        QMutexLocker lock(&mutex_);
        return frames_;
    }
    void add(const CanFrameData& d, int length, float time)
    {
        QMutexLocker lock(&mutex_);
        frames_.append({QByteArray(reinterpret_cast<const char*>(d.bytes), 8), length, time});
    }

private:
    mutable QMutex mutex_;
    QList<Frame> frames_;
};

// Stops and joins the receive loop and closes the channel whatever a test left behind.
struct Link {
    Received rx;   // outlives the loop
    CanThread can;
    Link()
    {
        QObject::connect(
            &can, &CanThread::recv_signal, &can, [this](CanFrameData d, int len, float t) { rx.add(d, len, t); },
            Qt::DirectConnection);
    }
    ~Link()
    {
        can.stop();
        can.wait();
        if (can.isOpen) can.CloseCAN();
    }
    void halt()
    {
        can.stop();
        QVERIFY(can.wait(2000));
    }
};

}   // namespace

class CanLink : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        SimReset();
        unsetenv("QUINTREL_SIM_NODE_ID");
    }

    void loadsAdapterBesideExecutable()
    {
        DebugCapture dbg;
        CanThread can;
        QVERIFY(dbg.contains("ECanVci.dll load ok"));
        QVERIFY(!can.isOpen);
    }

    void openProgramsEachBaudRow_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("timing0");
        QTest::addColumn<int>("timing1");
        const int rows[][2] = {{0x00, 0x14}, {0x00, 0x16}, {0x80, 0xB6}, {0x00, 0x1C}, {0x80, 0xFA}, {0x01, 0x1C},
                               {0x81, 0xFA}, {0x03, 0x1C}, {0x04, 0x1C}, {0x83, 0xFF}, {0x09, 0x1C}};
        const char* names[] = {"1000k", "800k", "666k", "500k", "400k", "250k", "200k", "125k", "100k", "80k", "50k"};
        for (int i = 0; i < 11; ++i) QTest::newRow(names[i]) << i << rows[i][0] << rows[i][1];
    }

    void openProgramsEachBaudRow()
    {
        QFETCH(int, baud);
        QFETCH(int, timing0);
        QFETCH(int, timing1);
        DebugCapture dbg;
        Link link;
        link.can.OpenCAN(uchar(baud), 1);
        QVERIFY(link.can.isOpen);
        CanInitConfig cfg{};
        QVERIFY(SimLastInitConfig(1, &cfg));
        QCOMPARE(cfg.accCode, 0u);
        QCOMPARE(cfg.accMask, 0x00FFFFFFu);
        QCOMPARE(int(cfg.filter), 0);
        QCOMPARE(int(cfg.mode), 0);
        QCOMPARE(int(cfg.timing0), timing0);
        QCOMPARE(int(cfg.timing1), timing1);
        const QStringList lines = dbg.lines();
        QVERIFY(lines.indexOf("open successed") < lines.indexOf("start CAN successed"));
        QCOMPARE(SimCallCount(SIM_CLEAR_BUFFER), 1u);   // cleared once started
    }

    void openWaitsBeforeInit()
    {
        Link link;
        QElapsedTimer t;
        t.start();
        link.can.OpenCAN(3, 0);
        QVERIFY(link.can.isOpen);
        QVERIFY(t.elapsed() >= 95);
    }

    void badChannelIndexCallsNothing()
    {
        for (int index : {2, -1}) {
            SimReset();
            CanThread can;
            DebugCapture dbg;
            can.OpenCAN(3, index);
            QCOMPARE(dbg.lines(), QStringList{"CAN ind error"});
            QVERIFY(!can.isOpen);
            for (uint32_t e = 0; e < SIM_ENTRY_COUNT; ++e) QCOMPARE(SimCallCount(e), 0u);
        }
    }

    void failedOpenLeavesChannelClosed_data()
    {
        QTest::addColumn<uint>("failure");
        QTest::addColumn<QString>("line");
        QTest::addColumn<uint>("closes");
        QTest::newRow("device") << uint(SIM_FAIL_OPEN_DEVICE) << QString("打开失败：100") << 0u;
        QTest::newRow("init") << uint(SIM_FAIL_INIT_CAN) << QString("Init CAN Error") << 1u;
        QTest::newRow("start") << uint(SIM_FAIL_START_CAN) << QString("start CAN fail") << 1u;
    }

    void failedOpenLeavesChannelClosed()
    {
        QFETCH(uint, failure);
        QFETCH(QString, line);
        QFETCH(uint, closes);
        SimSetFailures(failure);
        DebugCapture dbg;
        CanThread can;
        QElapsedTimer t;
        t.start();
        can.OpenCAN(3, 0);
        QVERIFY(!can.isOpen);
        QVERIFY(dbg.contains(line));
        QVERIFY(!dbg.contains("start CAN successed"));
        QCOMPARE(SimCallCount(SIM_CLOSE_DEVICE), closes);
        QCOMPARE(SimDeviceOpen(), 0);
        if (failure == SIM_FAIL_OPEN_DEVICE) {
            QVERIFY(t.elapsed() >= 490);   // the adapter is given time before its error is read
            QCOMPARE(SimCallCount(SIM_INIT_CAN), 0u);
        }
        // A thread started after a failed open ends at once.
        dbg.clear();
        can.start();
        QVERIFY(can.wait(2000));
        QCOMPARE(dbg.count("Stop receiving"), 1);
    }

    void failedOpenWithoutErrorRecordIsQuiet()
    {
        SimSetFailures(SIM_FAIL_OPEN_DEVICE | SIM_FAIL_READ_ERR_INFO);
        DebugCapture dbg;
        CanThread can;
        can.OpenCAN(0, 0);
        QVERIFY(!can.isOpen);
        for (const QString& l : dbg.lines()) QVERIFY2(!l.startsWith("打开失败"), qPrintable(l));
    }

    void closeClearsThenCloses()
    {
        DebugCapture dbg;
        CanThread can;
        can.OpenCAN(0, 0);
        QVERIFY(can.isOpen);
        const uint32_t clears = SimCallCount(SIM_CLEAR_BUFFER);
        can.CloseCAN();
        QVERIFY(!can.isOpen);
        QCOMPARE(SimCallCount(SIM_CLEAR_BUFFER), clears + 1);
        QCOMPARE(SimCallCount(SIM_CLOSE_DEVICE), 1u);
        QVERIFY(dbg.contains("closed CAN Thread"));
        QCOMPARE(SimDeviceOpen(), 0);
    }

    void transmitWhileClosedSendsNothing()
    {
        CanThread can;
        QSignalSpy log(&can, &CanThread::writeLog);
        uchar data[8] = {0x60};
        QVERIFY(!can.TransmitCAN(0x141, data, false, false, 8, true));
        QCOMPARE(log.count(), 0);
        QCOMPARE(SimCallCount(SIM_TRANSMIT), 0u);
    }

    void transmitFillsRecordAndLogs()
    {
        Link link;
        link.can.OpenCAN(3, 0);
        QSignalSpy log(&link.can, &CanThread::writeLog);
        uchar data[8] = {0x60, 0, 0, 0, 0, 0, 0, 0};
        QVERIFY(link.can.TransmitCAN(0x141, data, false, false, 8, true));
        QCOMPARE(log.count(), 1);
        QCOMPARE(log.at(0).at(0).toString(), QString("[Trans ]: 60 00 00 00 00 00 00 00"));
        auto sent = takeSent();
        QCOMPARE(sent.size(), size_t(1));
        const CanFrameObject& f = sent[0].frame;
        QCOMPARE(f.id, 0x141u);
        QCOMPARE(int(f.dataLen), 8);
        QCOMPARE(int(f.sendType), 0);
        QCOMPARE(int(f.remoteFlag), 0);
        QCOMPARE(int(f.externFlag), 0);
        QCOMPARE(int(f.data[0]), 0x60);

        uchar frame[8] = {0xF1, 0x07, 0x11, 0x00, 0x00, 0x20, 0x41, 0x00};
        QVERIFY(link.can.TransmitCAN(0x1FFFFFFF, frame, true, true, 8, true));
        QCOMPARE(log.at(1).at(0).toString(), QString("[Trans ]: f1 07 11 00 00 20 41 00"));
        sent = takeSent();
        QCOMPARE(int(sent.at(0).frame.externFlag), 1);
        QCOMPARE(int(sent.at(0).frame.remoteFlag), 1);

        QVERIFY(link.can.TransmitCAN(0x141, frame, false, false, 0, true));
        QCOMPARE(log.at(2).at(0).toString(), QString("[Trans ]:"));

        // Not logged, still sent.
        QVERIFY(link.can.TransmitCAN(0x141, frame, false, false, 3, false));
        QCOMPARE(log.count(), 3);
        sent = takeSent();
        QCOMPARE(sent.size(), size_t(2));
        QCOMPARE(int(sent.at(1).frame.dataLen), 3);
    }

    // A frame the adapter does not take is no sent frame: false, and a line that says so,
    // whether or not the caller logs its frames. The send itself tells a refusal from a
    // closed port; a logged frame's line is opened before the hand-over and given after it.
    void refusedFrameIsSaidNotSent_data()
    {
        QTest::addColumn<bool>("log");
        QTest::newRow("logged frame") << true;
        QTest::newRow("unlogged frame") << false;
    }

    void refusedFrameIsSaidNotSent()
    {
        QFETCH(bool, log);
        Link link;
        link.can.OpenCAN(3, 0);
        QSignalSpy lines(&link.can, &CanThread::writeLog);
        QSignalSpy opened(&link.can, &CanThread::sendLineOpened);
        uchar frame[8] = {0xF1, 0x07, 0x11, 0x00, 0x00, 0x20, 0x41, 0x00};
        SimSetFailures(SIM_FAIL_TRANSMIT);
        QVERIFY(!link.can.TransmitCAN(0x141, frame, false, false, 8, log));
        QCOMPARE(link.can.transmit(0x141, frame, false, false, 8, log), SendResult::Refused);
        QCOMPARE(lines.count(), 2);
        QCOMPARE(lines.at(0).at(0).toString(), QString("[Adapter refused]: f1 07 11 00 00 20 41 00"));
        QVERIFY(takeSent().empty());
        SimSetFailures(0);
        QCOMPARE(link.can.transmit(0x141, frame, false, false, 8, log), SendResult::Sent);
        QCOMPARE(lines.count(), log ? 3 : 2);
        QCOMPARE(opened.count(), log ? 3 : 0);
        QCOMPARE(takeSent().size(), size_t(1));

        link.can.CloseCAN();
        QCOMPARE(link.can.transmit(0x141, frame, false, false, 8, log), SendResult::PortClosed);
        QCOMPARE(lines.count(), log ? 3 : 2);
        QCOMPARE(opened.count(), log ? 3 : 0);
    }

    // An adapter slow to return from Transmit (a loaded bus) holds no reply back: the drive's
    // answer is handed on while the sender still waits, after its request's line was opened.
    void replyHandedOnWhileTheAdapterReturnsLate()
    {
        Link link;
        link.can.OpenCAN(3, 0);
        link.can.filterId = 0;
        QMutex mutex;
        QStringList order;
        const auto note = [&](const QString& what) {
            QMutexLocker lock(&mutex);
            order << what;
        };
        QObject::connect(
            &link.can, &CanThread::sendLineOpened, &link.can, [&] { note("opened"); }, Qt::DirectConnection);
        QObject::connect(
            &link.can, &CanThread::writeLog, &link.can, [&](const QString& line) { note(line); }, Qt::DirectConnection);
        QObject::connect(
            &link.can, &CanThread::recv_signal, &link.can, [&](CanFrameData, int, float) { note("reply"); },
            Qt::DirectConnection);
        link.can.start();
        SimSlowTransmit(1500);
        std::atomic<bool> returned{false};
        bool replyCameFirst = false;
        {
            std::thread sender([&] {
                uchar read[8] = {0xF1, 0x07, 0x12, 0, 0, 0, 0, 0};
                link.can.TransmitCAN(0, read, false, false, 8, true);
                returned = true;
            });
            // Joined however the test ends: a thread left running would end the whole program.
            const auto joined = qScopeGuard([&] {
                sender.join();
                SimSlowTransmit(0);
            });
            QTRY_COMPARE_WITH_TIMEOUT(link.rx.count(), 1, 5000);
            replyCameFirst = !returned;
        }
        QVERIFY2(replyCameFirst, "the reply waited for Transmit to return");
        QMutexLocker lock(&mutex);
        QCOMPARE(order, (QStringList{"opened", "reply", "[Trans ]: f1 07 12 00 00 00 00 00"}));
    }

    // The adapter's 32-bit microsecond stamp wraps; the time base keeps rising across it.
    void timeStampsUnwrap_data()
    {
        QTest::addColumn<QList<quint32>>("stamps");
        QTest::addColumn<QList<quint64>>("unwrapped");
        const quint64 wrap = quint64(1) << 32;
        QTest::newRow("rising") << QList<quint32>{0, 1000, 2000} << QList<quint64>{0, 1000, 2000};
        QTest::newRow("first stamp near the top") << QList<quint32>{0xFFFFFFFFu} << QList<quint64>{0xFFFFFFFFu};
        QTest::newRow("one wrap") << QList<quint32>{0xFFFFFFF0u, 0x10, 0x20}
                                  << QList<quint64>{0xFFFFFFF0u, wrap + 0x10, wrap + 0x20};
        QTest::newRow("two wraps") << QList<quint32>{0xF0000000u, 0x10, 0x80000000u, 0xF0000000u, 5}
                                   << QList<quint64>{0xF0000000u, wrap + 0x10, wrap + 0x80000000u,
                                                     wrap + 0xF0000000u, 2 * wrap + 5};
        // 40 minutes without a frame after a wrap: a long rise, then the next wrap counts.
        QTest::newRow("a long quiet spell after a wrap")
            << QList<quint32>{0xF0000000u, 0x10, 0x8F0D1810u, 0xF0000000u, 5}
            << QList<quint64>{0xF0000000u, wrap + 0x10, wrap + 0x8F0D1810u, wrap + 0xF0000000u, 2 * wrap + 5};
        QTest::newRow("a small step back is no wrap") << QList<quint32>{1000, 900, 1100}
                                                      << QList<quint64>{1000, 900, 1100};
        QTest::newRow("a drop of half the range is no wrap")
            << QList<quint32>{0x80000000u, 0} << QList<quint64>{0x80000000u, 0};
        QTest::newRow("a drop of more than half is one")
            << QList<quint32>{0x80000001u, 0} << QList<quint64>{0x80000001u, wrap};
    }

    void timeStampsUnwrap()
    {
        QFETCH(QList<quint32>, stamps);
        QFETCH(QList<quint64>, unwrapped);
        TimeStampUnwrapper u;
        for (int i = 0; i < stamps.size(); ++i) QCOMPARE(quint64(u.unwrap(stamps[i])), unwrapped[i]);
        u.reset();
        QCOMPARE(quint64(u.unwrap(5)), quint64(5));
    }

    // Through the receive loop: frames across the wrap keep rising, filtered ones count too,
    // and a reopened port starts its own count.
    void timeBaseRisesAcrossTheWrap()
    {
        Link link;
        link.can.OpenCAN(3, 0);
        link.can.filterId = 1;
        link.can.start();
        // Node 1 alone would see its stamp fall by less than half the range: only the other
        // node's frames between show the wrap.
        inject(0, 1, {0x01}, 4294000000u);
        inject(0, 2, {0x02}, 4294967000u);
        inject(0, 2, {0x03}, 1000u);
        inject(0, 2, {0x04}, 1500000000u);
        inject(0, 2, {0x05}, 2500000000u);
        inject(0, 1, {0x06}, 3000000000u);
        QTRY_COMPARE(link.rx.count(), 2);
        QCOMPARE(link.rx.at(0).time, float(4294.0));
        QCOMPARE(link.rx.at(1).time, float((4294967296.0 + 3000000000.0) * 1e-6));
        QVERIFY(link.rx.at(1).time > link.rx.at(0).time);

        link.halt();
        link.can.CloseCAN();
        link.can.OpenCAN(3, 0);
        link.can.start();
        inject(0, 1, {0x07}, 5000000u);
        QTRY_COMPARE(link.rx.count(), 3);
        QCOMPARE(link.rx.at(2).time, 5.0f);
    }

    void transmitsFromManyThreadsStayWhole()
    {
        Link link;
        link.can.OpenCAN(0, 0);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&link, t] {
                for (int i = 0; i < 500; ++i) {
                    uchar d[8];
                    std::fill(d, d + 8, uchar(t));
                    link.can.TransmitCAN(0x7FF, d, false, false, 8, false);
                }
            });
        }
        for (auto& th : threads) th.join();
        QCOMPARE(SimOverlappingTransmits(), 0u);   // one frame record at a time reaches the adapter
        const auto sent = takeSent();
        QCOMPARE(sent.size(), size_t(2000));
        for (const auto& s : sent)
            for (int i = 1; i < 8; ++i) QCOMPARE(s.frame.data[i], s.frame.data[0]);
    }

    void loopOnClosedChannelEndsAtOnce()
    {
        DebugCapture dbg;
        CanThread can;
        QSignalSpy recv(&can, &CanThread::recv_signal);
        can.start();
        QVERIFY(can.wait(2000));
        QCOMPARE(dbg.count("Stop receiving"), 1);
        QCOMPARE(recv.count(), 0);
    }

    void filterPassesNodeOrAll()
    {
        Link link;
        link.can.OpenCAN(3, 0);
        link.can.filterId = 1;
        inject(0, 1, {0xA1});
        inject(0, 2, {0xA2});
        inject(0, 1, {0xA3});
        link.can.start();
        QTRY_COMPARE(link.rx.count(), 2);
        QCOMPARE(link.rx.at(0).bytes.left(1), QByteArray("\xA1"));
        QCOMPARE(link.rx.at(1).bytes.left(1), QByteArray("\xA3"));

        link.can.recvAll = true;
        inject(0, 2, {0xB2});
        QTRY_COMPARE(link.rx.count(), 3);
        link.can.recvAll = false;
        link.can.filterId = 2;
        inject(0, 1, {0xC1});
        inject(0, 2, {0xC2});
        QTRY_COMPARE(link.rx.count(), 4);
        QTest::qWait(20);
        QCOMPARE(link.rx.count(), 4);
        QCOMPARE(link.rx.at(3).bytes.left(1), QByteArray("\xC2"));
    }

    void signalCarriesLengthTimeAndSlotRemainder()
    {
        Link link;
        link.can.OpenCAN(3, 0);
        link.can.recvAll = true;
        link.can.start();
        // Fill all 100 slots with 8-byte frames, then a short frame lands in slot 0 again.
        for (int i = 0; i < 100; ++i) inject(0, 5, {1, 2, 3, 4, 5, 6, 7, uint8_t(i)}, 1500000);
        QTRY_COMPARE(link.rx.count(), 100);
        inject(0, 5, {9, 9, 9}, 4294967295u);
        QTRY_COMPARE(link.rx.count(), 101);
        QCOMPARE(link.rx.at(0).time, 1.5f);
        QCOMPARE(link.rx.at(100).length, 3);
        QCOMPARE(link.rx.at(100).time, float(4294967295.0 * 1e-6));
        // Bytes past the length are what slot 0 held before.
        QCOMPARE(link.rx.at(100).bytes, QByteArray("\x09\x09\x09\x04\x05\x06\x07\x00", 8));
    }

    void stopLetsCurrentPollDeliver()
    {
        DebugCapture dbg;
        Link link;
        link.can.OpenCAN(3, 0);
        link.can.recvAll = true;
        for (int i = 0; i < 50; ++i) inject(0, 7, {uint8_t(i)});
        int delivered = 0;
        connect(
            &link.can, &CanThread::recv_signal, &link.can,
            [&](CanFrameData, int, float) {
                if (delivered++ == 0) link.can.stop();   // mid-poll, on the receive thread
            },
            Qt::DirectConnection);
        link.can.start();
        QVERIFY(link.can.wait(2000));
        QCOMPARE(delivered, 50);
        QCOMPARE(dbg.count("Stop receiving"), 1);
    }

    void stopRightAfterStartIsNotLost()
    {
        for (int i = 0; i < 20; ++i) {
            Link link;
            link.can.OpenCAN(0, 0);
            link.can.start();
            link.can.stop();
            QVERIFY(link.can.wait(2000));
        }
    }

    void receiveErrorsKeepLoopGoing()
    {
        DebugCapture dbg;
        Link link;
        link.can.OpenCAN(3, 0);
        link.can.recvAll = true;
        SimSetFailures(SIM_FAIL_RECEIVE | SIM_FAIL_READ_ERR_INFO);
        link.can.start();
        QTest::qWait(30);
        QVERIFY(!dbg.contains("读取数据失败!"));
        SimSetFailures(SIM_FAIL_RECEIVE);
        QTRY_VERIFY(dbg.contains("读取数据失败!"));
        QTRY_VERIFY(dbg.contains("错误码为：1000"));
        SimSetFailures(0);
        inject(0, 3, {0x42});
        QTRY_COMPARE(link.rx.count(), 1);
    }

    void oversizedRecordsAreClamped()
    {
        Link link;
        link.can.OpenCAN(3, 0);
        link.can.recvAll = true;
        CanFrameObject bad{};
        bad.id = 9;
        bad.dataLen = 200;
        std::fill(bad.data, bad.data + 8, 0x5A);
        SimInjectRaw(0, &bad, 1);
        link.can.start();
        QTRY_COMPARE(link.rx.count(), 1);
        link.halt();
        QCOMPARE(link.rx.at(0).length, 8);
        QCOMPARE(link.rx.at(0).bytes, QByteArray(8, '\x5A'));

        // One full poll of 50 known records, so every record the loop may read is known.
        link.can.CloseCAN();
        link.can.OpenCAN(3, 0);
        for (int i = 0; i < 50; ++i) inject(0, 9, {0xB0, uint8_t(i)});
        link.can.start();
        QTRY_COMPARE(link.rx.count(), 51);
        link.halt();

        // An adapter claiming more records than asked for: the loop delivers the 20 it was
        // given, then only records it asked for (the rest of the last 50), never more.
        link.can.CloseCAN();
        link.can.OpenCAN(3, 0);
        for (int i = 0; i < 20; ++i) inject(0, 9, {0xA0, uint8_t(i)});
        SimForceReceiveCount(1000);
        link.can.start();
        QTest::qWait(20);
        link.halt();
        SimForceReceiveCount(0);
        const QList<Received::Frame> got = link.rx.all().mid(51);
        QVERIFY(got.size() >= 50);
        QCOMPARE(got.size() % 50, 0);
        for (int i = 0; i < got.size(); ++i) {
            const int k = i % 50;
            const char want[2] = {char(k < 20 ? 0xA0 : 0xB0), char(k)};
            QCOMPARE(got.at(i).length, 2);
            QCOMPARE(got.at(i).bytes.left(2), QByteArray(want, 2));
        }
    }

    // The GUI thread may stall; every frame it decodes afterwards must be the one sent.
    void framesSurviveStalledConsumer()
    {
        Link link;
        link.can.OpenCAN(0, 0);
        link.can.recvAll = true;
        QList<QByteArray> got;
        QObject receiver;
        connect(
            &link.can, &CanThread::recv_signal, &receiver,
            [&](CanFrameData d, int len, float) { got << QByteArray(reinterpret_cast<const char*>(d.data()), len); },
            Qt::QueuedConnection);
        link.can.start();
        const int total = 600;
        for (int i = 0; i < total; ++i)
            inject(0, 1, {uint8_t(i), uint8_t(i >> 8), 0xEE, uint8_t(i * 7), 0, 0, 0, uint8_t(~i)});
        // Block this (the consumer's) thread until the loop has queued every frame.
        QElapsedTimer t;
        t.start();
        while (SimPendingCount(0) > 0 && t.elapsed() < 5000) QThread::msleep(5);
        QThread::msleep(20);
        QTRY_COMPARE(got.size(), total);
        for (int i = 0; i < total; ++i) {
            const char want[8] = {char(i), char(i >> 8), char(0xEE), char(i * 7), 0, 0, 0, char(~i)};
            QCOMPARE(got.at(i), QByteArray(want, 8));
        }
    }

    void driveAnswersThroughTheLink()
    {
        Link link;
        link.can.OpenCAN(3, 0);
        link.can.filterId = 0;
        link.can.start();
        uchar read[8] = {0xF1, 0x07, 0x12, 0, 0, 0, 0, 0};
        QVERIFY(link.can.TransmitCAN(0, read, false, false, 8, false));
        QTRY_COMPARE(link.rx.count(), 1);
        const QByteArray reply = link.rx.at(0).bytes;
        QCOMPARE(reply.left(3), QByteArray("\xF1\x07\x12"));
        float v;
        memcpy(&v, reply.constData() + 3, 4);
        QCOMPARE(v, 21.0f);
    }
};

QTEST_GUILESS_MAIN(CanLink)
#include "tst_canlink.moc"
