// The drive's replies decoded to values, with no window: one table per frame family.
#include "protocol/replies.h"

#include <QtTest>

using namespace protocol;
using Bytes = QByteArray;

Q_DECLARE_METATYPE(Acknowledgement::Kind)

namespace {

Bytes frame(std::initializer_list<int> bytes)
{
    Bytes b(8, '\0');
    int i = 0;
    for (int v : bytes) b[i++] = char(v);
    return b;
}

Reply decode(const Bytes& b) { return decodeReply(reinterpret_cast<const uint8_t*>(b.constData()), 8); }

template <typename T>
T as(const Bytes& b)
{
    const Reply r = decode(b);
    if (!std::holds_alternative<T>(r)) qFatal("frame decoded to alternative %d", int(r.index()));
    return std::get<T>(r);
}

}   // namespace

class ReplyValues : public QObject {
    Q_OBJECT

private slots:
    void parameterReplies_data()
    {
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("status");
        QTest::addColumn<float>("asFloat");
        QTest::addColumn<int>("asInt");
        QTest::addColumn<uint>("asUInt");
        QTest::newRow("float value") << frame({0xF1, 0x07, 0x12, 0x00, 0x00, 0xA0, 0x41}) << 7 << 2 << 20.0f
                                     << 0x41A00000 << 0x41A00000u;
        QTest::newRow("status from low nibble") << frame({0xF1, 0x07, 0xF3}) << 7 << 3 << 0.0f << 0 << 0u;
        QTest::newRow("negative int") << frame({0xF1, 0x23, 0x02, 0xFF, 0xFF, 0xFF, 0xFF}) << 35 << 2 << 0.0f << -1
                                      << 0xFFFFFFFFu;
        QTest::newRow("highest code") << frame({0xF1, 0x4A, 0x02, 0x05}) << 74 << 2 << 0.0f << 5 << 5u;
    }
    void parameterReplies()
    {
        QFETCH(Bytes, bytes);
        const auto r = as<ParameterReply>(bytes);
        QTEST(r.code, "code");
        QTEST(r.status, "status");
        QFETCH(float, asFloat);
        if (asFloat != 0.0f) QCOMPARE(r.asFloat, asFloat);
        QTEST(r.asInt, "asInt");
        QTEST(uint(r.asUInt), "asUInt");
        QCOMPARE(r.firstByte, uint8_t(bytes[3]));
    }

    void acknowledgements_data()
    {
        using A = Acknowledgement;
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<A::Kind>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("motor mode on") << frame({0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC}) << A::MotorModeOn << "";
        QTest::newRow("motor mode off") << frame({0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFD}) << A::MotorModeOff << "";
        QTest::newRow("zero point") << frame({0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}) << A::ZeroPointSet << "";
        QTest::newRow("start echo") << frame({0xF0, 0xFF, 0xFF, 0xF1, 0x55, 0xA0}) << A::TransferEcho << "";
        QTest::newRow("end echo") << frame({0xF0, 0xFF, 0xFF, 0xF1, 0x55, 0xA1}) << A::TransferEcho << "";
        QTest::newRow("pause") << frame({0xF0, 0xFF, 0xFF, 0xF1, 0x56, 0xA0}) << A::FlowPause << "";
        QTest::newRow("resume") << frame({0xF0, 0xFF, 0xFF, 0xF1, 0x56, 0xA1}) << A::FlowResume << "";
        QTest::newRow("jump") << frame({0xF0, 0xFF, 0xFF, 0xF1, 0x55, 0xB0}) << A::BootloaderJump << "";
        QTest::newRow("version") << frame({0xF0, 0xFF, 0x57, 0xA0, 1, 2, 13}) << A::FirmwareVersion << "1.2.13";
        QTest::newRow("type of three") << frame({0xF0, 0xFF, 0x56, 0xA0, 'Q', 'M', '7'}) << A::ProductType << "QM7";
        QTest::newRow("type of four") << frame({0xF0, 0xFF, 0x56, 0xA0, 'Q', 'M', '7', '2'}) << A::ProductType
                                      << "QM72";
        QTest::newRow("calibrated") << frame({0xF0, 0xFF, 0x70, 0xA0}) << A::CalibrationFinished << "";
        QTest::newRow("saved") << frame({0xF0, 0xFF, 0x65, 0xA0}) << A::ConfigsSaved << "";
        QTest::newRow("save failed") << frame({0xF0, 0xFF, 0x65, 0xA1}) << A::ConfigsSaveFailed << "";
        QTest::newRow("reset") << frame({0xF0, 0xFF, 0x66, 0xA0}) << A::ConfigsReset << "";
        QTest::newRow("reset failed") << frame({0xF0, 0xFF, 0x66, 0x00}) << A::ConfigsResetFailed << "";
        QTest::newRow("transfer end") << frame({0xF0, 0xFF, 0x80, 0xA0}) << A::TransferEnd << "";
    }
    void acknowledgements()
    {
        QFETCH(Bytes, bytes);
        const auto r = as<Acknowledgement>(bytes);
        QTEST(r.kind, "kind");
        QTEST(r.text, "text");
    }

    void statusWords_data()
    {
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<int>("kind");
        QTest::addColumn<quint64>("value");
        QTest::newRow("error word") << frame({0xF2, 0xFF, 0, 0x05}) << 0 << quint64(5);
        QTest::newRow("state word") << frame({0xF2, 0xFF, 1, 0x00, 0x01}) << 1 << quint64(0x100);
        QTest::newRow("bit 31 widens") << frame({0xF2, 0xFF, 3, 0, 0, 0, 0x80}) << 3 << quint64(0xFFFFFFFF80000000ull);
    }
    void statusWords()
    {
        QFETCH(Bytes, bytes);
        const auto r = as<StatusWord>(bytes);
        QTEST(r.kind, "kind");
        QTEST(r.value, "value");
    }

    // Samples are big-endian, scaled in single precision.
    void streams_data()
    {
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<QList<float>>("values");
        QTest::newRow("temperatures") << frame({0xF5, 0x00, 0x00, 0xFF, 0xFF, 0x40, 0x00})
                                      << QList<float>{-45.0f, 175.0f, float(16384) * 220.0f / 65535.0f - 45.0f};
        QTest::newRow("live samples") << frame({0xFA, 0x12, 0x34, 0x00, 0x01, 0xFF, 0xFF})
                                      << QList<float>{float(0x1234), 1.0f, 65535.0f};
        QTest::newRow("identification sample")
            << frame({0xFB, 0x1F, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00}) << QList<float>{200.0f, -20.0f};
    }
    void streams()
    {
        QFETCH(Bytes, bytes);
        QFETCH(QList<float>, values);
        const Reply r = decode(bytes);
        QList<float> got;
        if (auto* t = std::get_if<Temperatures>(&r)) got = {t->celsius[0], t->celsius[1], t->celsius[2]};
        if (auto* s = std::get_if<LiveSamples>(&r)) got = {float(s->raw[0]), float(s->raw[1]), float(s->raw[2])};
        if (auto* i = std::get_if<IdentificationSample>(&r)) {
            QCOMPARE(i->phase, IdentificationSample::Sample);
            got = {i->speed, i->iq};
        }
        QCOMPARE(got, values);
    }

    void identificationPhases_data()
    {
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<int>("phase");
        QTest::newRow("start") << frame({0xFB, 0x10}) << int(IdentificationSample::Start);
        QTest::newRow("end") << frame({0xFB, 0x11}) << int(IdentificationSample::End);
    }
    void identificationPhases()
    {
        QFETCH(Bytes, bytes);
        QTEST(int(as<IdentificationSample>(bytes).phase), "phase");
    }

    // Fields of the hybrid page and the torque table are little-endian.
    void workflowReplies_data()
    {
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<QList<double>>("fields");
        QTest::newRow("position") << frame({0x9C, 0, 0, 0, 0, 0, 0x34, 0x12}) << QList<double>{0x1234};
        QTest::newRow("hybrid feedback") << frame({0x33, 0, 0x01, 0x00, 0x02, 0x01, 0xFF, 0xFF})
                                         << QList<double>{1, 0x102, 0xFFFF};
        QTest::newRow("table written") << frame({0x58, 0xFF}) << QList<double>{1};
        QTest::newRow("table refused") << frame({0x58, 0x00}) << QList<double>{0};
        QTest::newRow("table row") << frame({0x60, 0x10, 5, 2, 0x0F, 0x00, 0xE8, 0x03})
                                   << QList<double>{5, 2, double(float(15 * 0.1)), 100};
    }
    void workflowReplies()
    {
        QFETCH(Bytes, bytes);
        QFETCH(QList<double>, fields);
        const Reply r = decode(bytes);
        QList<double> got;
        if (auto* p = std::get_if<Position>(&r)) got = {double(p->position)};
        if (auto* h = std::get_if<HybridFeedback>(&r)) got = {double(h->torque), double(h->speed), double(h->position)};
        if (auto* w = std::get_if<TableWriteResult>(&r)) got = {w->ok ? 1.0 : 0.0};
        if (auto* t = std::get_if<TableRow>(&r)) got = {double(t->total), double(t->index), t->current, t->torque};
        QCOMPARE(got, fields);
    }

    void ignoredFrames_data()
    {
        QTest::addColumn<Bytes>("bytes");
        QTest::newRow("unknown command") << frame({0x12, 1, 2, 3});
        QTest::newRow("code beyond the set") << frame({0xF1, 0x4B, 0x02});
        QTest::newRow("code not in the set") << frame({0xF1, 0x1F, 0x02});
        QTest::newRow("acknowledgement without FF") << frame({0xF0, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC});
        QTest::newRow("unknown acknowledgement") << frame({0xF0, 0xFF, 0x12});
        QTest::newRow("status kind 4") << frame({0xF2, 0xFF, 4});
        QTest::newRow("status without FF") << frame({0xF2, 0x00, 1});
        QTest::newRow("identification other") << frame({0xFB, 0x12});
        QTest::newRow("table other") << frame({0x60, 0x01});
    }
    void ignoredFrames()
    {
        QFETCH(Bytes, bytes);
        QVERIFY(std::holds_alternative<std::monostate>(decode(bytes)));
    }

    // Only a frame's own bytes are read: past them the receive ring holds an older frame's,
    // here 0x77. A frame one byte short of what its layout reads matches nothing; the window
    // tests hand over frames of just the length their layout reads.
    void shortFrames_data()
    {
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("decoded");   // product type, or live samples carried; empty: nothing
        const auto row = [](const char* name, std::initializer_list<int> bytes, int length,
                            const QString& decoded = QString()) {
            Bytes b(8, '\x77');
            int i = 0;
            for (int v : bytes) b[i++] = char(v);
            QTest::newRow(name) << b << length << decoded;
        };
        row("empty frame", {0x58, 0xFF}, 0);
        row("value reply, short", {0xF1, 0x07, 0x12, 0, 0, 0xA0}, 6);
        row("one-byte value, short", {0xF1, 0x0B, 0x02}, 3);
        row("parameter reply without status", {0xF1, 0x07}, 2);
        row("motor mode, short", {0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 6);
        row("product type of three", {0xF0, 0xFF, 0x56, 0xA0, 'T', '7', '1'}, 7, "T71");
        row("product type of four", {0xF0, 0xFF, 0x56, 0xA0, 'T', '7', '1'}, 8, "T71w");
        row("status word, short", {0xF2, 0xFF, 1, 0, 0, 0}, 6);
        row("temperatures, short", {0xF5, 0, 0, 0, 0, 0}, 6);
        row("live, no sample", {0xFA, 0x12}, 2);
        row("live, one sample", {0xFA, 0x12, 0x34}, 3, "1");
        row("live, two samples", {0xFA, 0x12, 0x34, 0, 0}, 6, "2");
        row("identification, no phase", {0xFB}, 1);
        row("identification sample, short", {0xFB, 0x1F, 0, 0, 0, 0, 0}, 7);
        row("position, short", {0x9C, 0, 0, 0, 0, 0, 0x34}, 7);
        row("hybrid feedback, short", {0x33, 0, 1, 0, 2, 0, 3}, 7);
        row("table written, short", {0x58}, 1);
        row("table row, short", {0x60, 0x10, 2, 0, 0x0A, 0, 0x05}, 7);
    }
    void shortFrames()
    {
        QFETCH(Bytes, bytes);
        QFETCH(int, length);
        QFETCH(QString, decoded);
        const Reply r = decodeReply(reinterpret_cast<const uint8_t*>(bytes.constData()), length);
        QCOMPARE(std::holds_alternative<std::monostate>(r), decoded.isEmpty());
        QString got;
        if (auto* a = std::get_if<Acknowledgement>(&r)) got = a->text;
        if (auto* s = std::get_if<LiveSamples>(&r)) {
            got = QString::number(s->count);
            for (int k = s->count; k < 3; ++k) QCOMPARE(s->raw[k], uint16_t(0));
        }
        QCOMPARE(got, decoded);
    }

    void receivedLines()
    {
        const uint8_t d[8] = {0xF1, 0x07, 0x12, 0x00, 0x00, 0x20, 0x41, 0x00};
        QCOMPARE(receivedFrameLine(d, 8, 12.5f), QString("[Recv: 12.500] f1 07 12 00 00 20 41 00"));
        QCOMPARE(receivedFrameLine(d, 2, 0.0f), QString("[Recv: 0.000] f1 07"));
        QCOMPARE(receivedFrameLine(d, 12, 0.0f).count(' '), 9);
        const float v[3] = {1.0f, -2.345f, 100.0f};
        QCOMPARE(receivedValuesLine(3.25f, v, 3), QString("[Recv: 3.250] 1.00 -2.35 100.00"));
        QVERIFY(logsEveryFrame(0xF0) && logsEveryFrame(0xF1) && logsEveryFrame(0xF2) && logsEveryFrame(0x9C));
    }
};

QTEST_GUILESS_MAIN(ReplyValues)
#include "tst_replyvalues.moc"
