// Closing the port while other threads send flat out, as the firmware sender, a hybrid
// burst or Write All do: once the close has begun no frame reaches the adapter, and no
// frame is reported sent or logged that the adapter did not take.
#include "can/can.h"
#include "ecanvci.h"

#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

namespace {

int drainSent()
{
    std::vector<SimSentFrame> buf(8192);
    int total = 0;
    while (uint32_t n = SimTakeTransmitted(buf.data(), uint32_t(buf.size()))) total += int(n);
    return total;
}

}   // namespace

class PortCloseWhileSending : public QObject {
    Q_OBJECT

private slots:
    void init() { SimReset(); }

    // A close issued while a sender is inside the adapter's Transmit waits for it to
    // return: the adapter never has its buffer cleared or its device closed under a frame.
    void closeWaitsForATransmitInside()
    {
        SimSetDriveAttached(0);
        CanThread can;
        can.OpenCAN(3, 0);
        QVERIFY(can.isOpen);
        SimHoldTransmit(1000);   // far longer than the close takes to reach the adapter
        std::thread sender([&can] {
            uchar data[8] = {0x60, 0, 0, 0, 0, 0, 0, 0};
            can.TransmitCAN(0x7FF, data, false, false, 8, false);
        });
        const bool held = QTest::qWaitFor([] { return SimCallCount(SIM_TRANSMIT) == 1; }, 5000);
        can.CloseCAN();
        sender.join();
        QVERIFY(held);
        QCOMPARE(SimEnteredDuringTransmit(), 0u);
        QCOMPARE(drainSent(), 1);
        QVERIFY(!SimDeviceOpen());
    }

    void noAdapterCallAfterClose()
    {
        SimSetDriveAttached(0);
        CanThread can;
        std::atomic<int> logged{0};
        connect(
            &can, &CanThread::writeLog, this, [&logged] { ++logged; }, Qt::DirectConnection);

        // Several rounds of a close among busy senders: what is reported sent and logged is
        // exactly what the adapter took.
        for (int round = 0; round < 5; ++round) {
            can.OpenCAN(3, 0);
            QVERIFY(can.isOpen);
            std::atomic<bool> quit{false};
            std::atomic<int> reported{0};
            std::atomic<int> refused{0};
            const uint32_t startCalls = SimCallCount(SIM_TRANSMIT);
            std::vector<std::thread> senders;
            for (int s = 0; s < 3; ++s) {
                senders.emplace_back([&can, &quit, &reported, &refused] {
                    uchar data[8] = {0x60, 0, 0, 0, 0, 0, 0, 0};
                    while (!quit.load()) {
                        if (can.TransmitCAN(0x7FF, data, false, false, 8, true))
                            ++reported;
                        else
                            ++refused;
                    }
                });
            }
            QTRY_VERIFY_WITH_TIMEOUT(SimCallCount(SIM_TRANSMIT) >= startCalls + 300, 5000);

            can.CloseCAN();
            const uint32_t callsAtClose = SimCallCount(SIM_TRANSMIT);
            QTRY_VERIFY_WITH_TIMEOUT(refused.load() >= 3000, 5000);
            quit = true;
            for (std::thread& t : senders) t.join();

            QCOMPARE(SimCallCount(SIM_TRANSMIT), callsAtClose);
            const int taken = drainSent();
            QCOMPARE(int(SimCallCount(SIM_TRANSMIT) - startCalls), taken);   // none refused as closed
            QCOMPARE(reported.load(), taken);
            QCOMPARE(logged.exchange(0), taken);
            QVERIFY(!SimDeviceOpen());
        }
    }
};

QTEST_MAIN(PortCloseWhileSending)
#include "tst_portclosewhilesending.moc"
