#include "support/windowharness.h"

#include "protocol/parametertable.h"

#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>
#include <memory>

namespace {

// Codes of the 49 bulk entries in their order; 0 for the baud-rate row, which has none.
const QList<int> kBulkCodes = {1,  2,  3,  4,  5,  6,  7,  8,  55, 56, 57, 58, 59, 60, 34, 9,  10,
                               35, 36, 11, 12, 13, 14, 15, 37, 16, 17, 18, 19, 20, 21, 22, 23, 24,
                               25, 26, 27, 28, 29, 38, 40, 42, 54, 53, 52, 30, 0,  32, 33};

QList<int> without(QList<int> codes, const QList<int>& skipped)
{
    codes.erase(std::remove_if(codes.begin(), codes.end(), [&](int c) { return skipped.contains(c); }), codes.end());
    return codes;
}

// Collects transmitted frames until count have come (or the time runs out), then a little
// longer so that any surplus frame is caught too. Runs a real event loop: QTest::qWait
// sleeps between its passes, which would stretch every press's round trip.
std::vector<SimSentFrame> collect(size_t count, int timeoutMs = 10000)
{
    std::vector<SimSentFrame> all;
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer t;
    qint64 reachedAt = -1;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        for (const SimSentFrame& f : takeSent()) all.push_back(f);
        if (reachedAt < 0 && all.size() >= count) reachedAt = t.elapsed();
        if ((reachedAt >= 0 && t.elapsed() - reachedAt > 150) || t.elapsed() > timeoutMs) loop.quit();
    });
    t.start();
    poll.start(5);
    loop.exec();
    return all;
}

QList<int> codesOf(const std::vector<SimSentFrame>& frames)
{
    QList<int> codes;
    for (const SimSentFrame& f : frames) codes << f.frame.data[1];
    return codes;
}

bool allRequestsOf(const std::vector<SimSentFrame>& frames, bool write)
{
    for (const SimSentFrame& f : frames) {
        const uint8_t kind = f.frame.data[2];
        if (f.frame.data[0] != 0xF1 || (kind & 0x0F) != (write ? 0x01 : 0x02)) return false;
    }
    return true;
}

// Gaps between consecutive frames, in microseconds, sorted.
std::vector<uint64_t> gaps(const std::vector<SimSentFrame>& frames)
{
    std::vector<uint64_t> g;
    for (size_t i = 1; i < frames.size(); ++i) g.push_back(frames[i].timeUs - frames[i - 1].timeUs);
    std::sort(g.begin(), g.end());
    return g;
}

}   // namespace

class BulkAccess : public QObject {
    Q_OBJECT

private slots:
    void init() { SimReset(); }

    void fromStartState_data()
    {
        QTest::addColumn<bool>("write");
        QTest::addColumn<QList<int>>("expected");
        // ProtectIBusMax, ProtectILeakMax and BaudRate are disabled by the form, the Write
        // buttons of CalibVaild, EncoderDir and EncoderOffset by start-up.
        QTest::newRow("write all") << true << without(kBulkCodes, {28, 29, 0, 34, 35, 36});
        QTest::newRow("read all") << false << without(kBulkCodes, {28, 29, 0});
    }

    void fromStartState()
    {
        QFETCH(bool, write);
        QFETCH(QList<int>, expected);
        QCOMPARE(expected.size(), write ? 43 : 46);
        WorkDir dir(true);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        takeSent();
        BoxCatcher boxes;
        (write ? ui->pushButton_WriteAllConfig : ui->pushButton_ReadAllConfig)->click();
        // The slot returns at once; the sequence runs on its own.
        QVERIFY(takeSent().size() <= 1);
        const auto frames = collect(size_t(expected.size()));
        QCOMPARE(codesOf(frames), expected);
        QVERIFY(allRequestsOf(frames, write));
        QVERIFY(boxes.boxes.isEmpty());

        // Each press is followed by 10 ms; skipped rows add no pause.
        const auto g = gaps(frames);
        QVERIFY2(g.front() >= 9900, qPrintable(QString::number(g.front())));
        const uint64_t median = g[g.size() / 2];
        QVERIFY2(median < 30000, qPrintable(QString::number(median)));
        // ProtectIBusMax and ProtectILeakMax (disabled) lie between codes 27 and 38.
        const QList<int> codes = codesOf(frames);
        const int at38 = codes.indexOf(38);
        QCOMPARE(codes.at(at38 - 1), 27);
        const uint64_t across = frames[size_t(at38)].timeUs - frames[size_t(at38 - 1)].timeUs;
        QVERIFY2(across < median + 12000, qPrintable(QString("%1 vs %2").arg(across).arg(median)));

        // The rows log their own requests; the sequence adds nothing.
        const QStringList log = MainWindowProbe::logLines(w);
        QCOMPARE(log.filter("[Trans ]:").size(), expected.size());
        QCOMPARE(
            log.filter(QRegularExpression(write ? "^>>> (Send|Set) .* Value: " : "^>>> Send .* get command$")).size(),
            expected.size());
        if (write) return;

        // Each box then shows what the drive holds, not a value clamped to its range or
        // rounded to its decimals. NodeID aside: the drive answers on 0, below the file's range.
        QTRY_COMPARE_WITH_TIMEOUT(MainWindowProbe::logLines(w).filter(QRegularExpression("^>>> Get \"")).size(),
                                  expected.size(), 5000);
        QStringList differing;
        int spinBoxes = 0;
        for (int code : without(expected, {30})) {
            auto* box = w.findChild<QDoubleSpinBox*>(QLatin1String(protocol::parameterInfo(code)->input));
            if (!box) continue;   // checks, mode and line edits show states, not numbers
            ++spinBoxes;
            double held = 0;
            QVERIFY(SimReadParameter(uint32_t(code), &held));
            if (!qFuzzyCompare(1 + box->value(), 1 + held))
                differing << QString("%1: box %2, drive %3").arg(box->objectName()).arg(box->value()).arg(held);
        }
        QCOMPARE(spinBoxes, 40);
        QVERIFY2(differing.isEmpty(), qPrintable(differing.join("; ")));
    }

    void enabledStateReadAsEachEntryComesUp()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        ui->pushButton_ProtectIBusMax_2->setEnabled(true);
        ui->pushButton_Inertia_2->setEnabled(false);
        takeSent();
        ui->pushButton_ReadAllConfig->click();
        // Re-enable a row the sequence has not reached yet.
        QTRY_VERIFY_WITH_TIMEOUT(SimCallCount(SIM_TRANSMIT) >= 3, 5000);
        ui->pushButton_NodeID_2->setEnabled(false);
        QCOMPARE(codesOf(collect(45)), without(kBulkCodes, {2, 29, 0, 30}));
    }

    void writeAllCarriesOnPastARefusedRow()
    {
        WorkDir dir(false);
        MainWindow w;
        openPort(w);
        MainWindowProbe::decode(w, {0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC, 0x00});
        QVERIFY(MainWindowProbe::motorModeOn(w));
        takeSent();
        MainWindowProbe::ui(w)->pushButton_WriteAllConfig->click();
        QCOMPARE(codesOf(collect(42)), without(kBulkCodes, {28, 29, 0, 34, 35, 36, 11}));
        const QStringList log = MainWindowProbe::logLines(w);
        const int refusal = log.indexOf(">>> Set \"ControlMode\" Fail, Please exit MotorMode");
        QVERIFY(refusal >= 0);
        QVERIFY(log.indexOf(QRegularExpression(">>> Set \"PosGain\" Value: .*")) > refusal);
    }

    void channelClosedWhenPressed()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        ui->pushButton_ReadAllConfig->click();
        ui->pushButton_WriteAllConfig->click();
        QTest::qWait(100);
        QCOMPARE(boxes.texts(), (QStringList{"请先打开设备", "请先打开设备"}));
        QCOMPARE(SimCallCount(SIM_TRANSMIT), 0u);
    }

    void channelClosedDuringSequence()
    {
        // Every row pressed after the close shows its own box; the sequence waits for each.
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        takeSent();
        BoxCatcher boxes;
        ui->pushButton_ReadAllConfig->click();
        QTRY_VERIFY_WITH_TIMEOUT(SimCallCount(SIM_TRANSMIT) >= 5, 5000);
        ui->pushButton_closeport->click();
        QVERIFY(!MainWindowProbe::can(w)->isOpen);
        const int sent = int(takeSent().size());
        QVERIFY(sent >= 5 && sent < 46);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.boxes.size() + sent, 46, 15000);
        QTest::qWait(100);
        QCOMPARE(boxes.boxes.size() + sent, 46);
        QCOMPARE(boxes.texts().filter("请先打开设备").size(), boxes.boxes.size());
    }

    void closingTheWindowEndsTheSequence()
    {
        WorkDir dir(false);
        auto w = std::make_unique<MainWindow>();
        openPort(*w);
        takeSent();
        MainWindowProbe::ui(*w)->pushButton_ReadAllConfig->click();
        MainWindowProbe::ui(*w)->pushButton_WriteAllConfig->click();
        QTRY_VERIFY_WITH_TIMEOUT(SimCallCount(SIM_TRANSMIT) >= 6, 5000);
        QElapsedTimer t;
        t.start();
        w.reset();   // joins the workers
        QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
        const uint32_t afterClose = SimCallCount(SIM_TRANSMIT);
        QTest::qWait(200);
        QCOMPARE(SimCallCount(SIM_TRANSMIT), afterClose);
        // Both sequences were cut short (the close adds no parameter request).
        int requests = 0;
        for (const SimSentFrame& f : takeSent()) requests += f.frame.data[0] == 0xF1 ? 1 : 0;
        QVERIFY2(requests < 43 + 46, qPrintable(QString::number(requests)));
    }
};

QTEST_MAIN(BulkAccess)
#include "tst_bulkaccess.moc"
