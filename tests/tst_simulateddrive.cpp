#include "simdrive.h"

#include <QtTest>

#include <cstring>

using sim::Frame;
using sim::SimDrive;

namespace {
Frame frame(std::initializer_list<uint8_t> bytes, uint32_t id = 0)
{
    Frame f;
    f.id = id;
    int i = 0;
    for (uint8_t b : bytes) f.data[i++] = b;
    f.len = uint8_t(i);
    return f;
}

QByteArray bytes(const Frame& f) { return QByteArray(reinterpret_cast<const char*>(f.data), f.len); }

std::vector<Frame> send(SimDrive& d, const Frame& in)
{
    std::vector<Frame> out;
    d.receive(in, 0, out);
    return out;
}

float floatAt(const Frame& f)
{
    float v;
    std::memcpy(&v, f.data + 3, 4);
    return v;
}
}  // namespace

class SimulatedDrive : public QObject {
    Q_OBJECT

private slots:
    void readsAndWritesParameters()
    {
        SimDrive d;
        auto r = send(d, frame({0xF1, 0x07, 0x12, 0, 0, 0, 0, 0}));
        QCOMPARE(r.size(), size_t(1));
        QCOMPARE(int(r[0].data[2] & 0x0F), 2);
        QCOMPARE(floatAt(r[0]), 21.0f);

        // CurrentLimit = 30.5 accepted, then read back.
        Frame w = frame({0xF1, 0x07, 0x11, 0, 0, 0, 0, 0});
        const float v = 30.5f;
        std::memcpy(w.data + 3, &v, 4);
        r = send(d, w);
        QCOMPARE(int(r[0].data[2] & 0x0F), 3);
        r = send(d, frame({0xF1, 0x07, 0x12, 0, 0, 0, 0, 0}));
        QCOMPARE(floatAt(r[0]), 30.5f);

        // Out of range, wrong type and read-only writes are refused and change nothing.
        const float huge = 1e9f;
        std::memcpy(w.data + 3, &huge, 4);
        r = send(d, w);
        QVERIFY((r[0].data[2] & 0x0F) != 3 && (r[0].data[2] & 0x0F) != 2);
        r = send(d, frame({0xF1, 0x07, 0x01, 5, 0, 0, 0, 0}));
        QVERIFY((r[0].data[2] & 0x0F) != 3);
        r = send(d, frame({0xF1, 0x22, 0x01, 0, 0, 0, 0, 0}));
        QVERIFY((r[0].data[2] & 0x0F) != 3);
        double now = 0;
        QVERIFY(d.parameter(7, &now));
        QCOMPARE(now, 30.5);

        // Single-byte codes read and write byte 3 only.
        r = send(d, frame({0xF1, 0x0B, 0x01, 0x05, 0xAA, 0xBB, 0xCC, 0}));
        QCOMPARE(int(r[0].data[2] & 0x0F), 3);
        r = send(d, frame({0xF1, 0x0B, 0x02, 0, 0, 0, 0, 0}));
        QCOMPARE(bytes(r[0]), QByteArray::fromHex("f10b020500000000"));

        // Reset brings the defaults back.
        r = send(d, frame({0xF1, 0xFF, 0xFF, 0xFF, 0x66, 0xA0, 0, 0}));
        QCOMPARE(bytes(r[0]).left(4), QByteArray::fromHex("f0ff66a0"));
        QVERIFY(d.parameter(7, &now));
        QCOMPARE(now, 21.0);
    }

    void answersOnlyItsOwnIdentifier()
    {
        sim::DriveConfig cfg;
        cfg.nodeId = 0x141;
        SimDrive d(cfg);
        QVERIFY(send(d, frame({0xF1, 0x07, 0x12, 0, 0, 0, 0, 0}, 0x140)).empty());
        const auto r = send(d, frame({0xF1, 0x07, 0x12, 0, 0, 0, 0, 0}, 0x141));
        QCOMPARE(r.size(), size_t(1));
        QCOMPARE(r[0].id, 0x141u);
        cfg.attached = false;
        d.configure(cfg);
        QVERIFY(send(d, frame({0xF1, 0x07, 0x12, 0, 0, 0, 0, 0}, 0x141)).empty());
    }

    void commandsAreAcknowledged()
    {
        sim::DriveConfig cfg;
        QVERIFY(sim::applySetting(cfg, "product_type", "T71"));
        QVERIFY(sim::applySetting(cfg, "fw_version", "1.2.13"));
        QVERIFY(!sim::applySetting(cfg, "fw_version", "1.2"));
        QVERIFY(!sim::applySetting(cfg, "product_type", "TOOLONG"));
        QVERIFY(!sim::applySetting(cfg, "node_id", "abc"));
        QVERIFY(sim::applySetting(cfg, "node_id", "0x20"));
        SimDrive d(cfg);

        auto r = send(d, frame({0xFF, 0xFF, 0xFF, 0xFF, 0x57, 0xA0, 0, 0}, 0x20));
        QCOMPARE(bytes(r[0]).left(7), QByteArray::fromHex("f0ff57a001020d"));
        r = send(d, frame({0xFF, 0xFF, 0xFF, 0xFF, 0x56, 0xA0, 0, 0}, 0x20));
        QCOMPARE(bytes(r[0]), QByteArray::fromHex("f0ff56a054373100"));

        r = send(d, frame({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC}, 0x20));
        QCOMPARE(bytes(r[0]).left(7), QByteArray::fromHex("f0ffffffffff fc").replace(' ', ""));
        QVERIFY(d.motorMode());
        r = send(d, frame({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFD}, 0x20));
        QCOMPARE(int(r[0].data[6]), 0xFD);
        QVERIFY(!d.motorMode());
        r = send(d, frame({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}, 0x20));
        QCOMPARE(int(r[0].data[6]), 0xFE);
        r = send(d, frame({0xF1, 0xFF, 0xFF, 0xFF, 0x65, 0xA0, 0, 0}, 0x20));
        QCOMPARE(bytes(r[0]), QByteArray::fromHex("f0ff65a000000000"));
    }

    void reportsFourStatusWords()
    {
        SimDrive d;
        d.setStatusWords(0x80000001u, 2, 4, 8);
        auto r = send(d, frame({0xF2, 0xFF, 0xFF, 0xFF, 0x55, 0xA0, 0, 0}));
        QCOMPARE(r.size(), size_t(4));
        QCOMPARE(bytes(r[0]), QByteArray::fromHex("f2ff000100008000"));
        QCOMPARE(bytes(r[1]), QByteArray::fromHex("f2ff010200000000"));
        QCOMPARE(bytes(r[2]), QByteArray::fromHex("f2ff020400000000"));
        QCOMPARE(bytes(r[3]), QByteArray::fromHex("f2ff030800000000"));
        // Clearing the state leaves the state word alone.
        QVERIFY(send(d, frame({0xF2, 0xFF, 0xFF, 0xFF, 0x55, 0xA1, 0, 0})).empty());
        r = send(d, frame({0xF2, 0xFF, 0xFF, 0xFF, 0x55, 0xA0, 0, 0}));
        QCOMPARE(bytes(r[0]), QByteArray::fromHex("f2ff000000000000"));
        QCOMPARE(bytes(r[1]), QByteArray::fromHex("f2ff010200000000"));
    }

    void ignoresUnknownFrames()
    {
        SimDrive d;
        QVERIFY(send(d, frame({0x12, 0, 0, 0, 0, 0, 0, 0})).empty());
        QVERIFY(send(d, frame({})).empty());
        QVERIFY(send(d, frame({0xF1, 0xFF, 0xFF, 0xFF, 0x64, 0xA0, 0, 0})).empty());
    }
};

QTEST_GUILESS_MAIN(SimulatedDrive)
#include "tst_simulateddrive.moc"
