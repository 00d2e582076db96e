#include "ecanvci.h"
#include "simdrive.h"
#include "support/firmwareimages.h"

#include <QElapsedTimer>
#include <QtTest>

#include <algorithm>
#include <cmath>
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

std::vector<Frame> sendAt(SimDrive& d, const Frame& in, uint64_t nowUs)
{
    std::vector<Frame> out;
    d.receive(in, nowUs, out);
    return out;
}

// Calls advance every stepUs after fromUs up to toUs and gathers what the drive sent.
std::vector<Frame> run(SimDrive& d, uint64_t fromUs, uint64_t toUs, uint64_t stepUs = 1000)
{
    std::vector<Frame> out;
    for (uint64_t t = fromUs + stepUs; t <= toUs; t += stepUs) d.advance(t, out);
    return out;
}

// The tool's decoding of the stream frames.
unsigned be16(const Frame& f, int at) { return unsigned(f.data[at]) << 8 | f.data[at + 1]; }
unsigned be24(const Frame& f, int at)
{
    return unsigned(f.data[at]) << 16 | unsigned(f.data[at + 1]) << 8 | f.data[at + 2];
}
unsigned le16(const Frame& f, int at) { return unsigned(f.data[at]) | unsigned(f.data[at + 1]) << 8; }
float sample(unsigned raw, float lo, float hi) { return float(raw) * (hi - lo) / 65535.0f + lo; }
float celsius(unsigned raw) { return float(raw) * 220.0f / 65535.0f - 45.0f; }
float speedOf(unsigned raw) { return float(raw) * 400.0f / 16777215.0f - 200.0f; }
float iqOf(unsigned raw) { return float(raw) * 40.0f / 16777215.0f - 20.0f; }

const Frame kDisplayStop = frame({0xFF, 0xFF, 0xFF, 0xFF, 0x55, 0xA1, 0xFF, 0xFF});
Frame displayStart(uint16_t mask)
{
    return frame({0xFF, 0xFF, 0xFF, 0xFF, 0x55, 0xA0, uint8_t(mask), uint8_t(mask >> 8)});
}

// Channel ranges in mask-bit order, as the live plot unscales them.
const float kRange[11][2] = {{-60, 60},       {-60, 60},  {-60, 60}, {-60, 60}, {-60, 60}, {-625, 625},
                             {-12.5f, 12.5f}, {0, 6.28f}, {-30, 30}, {-30, 30}, {0, 60}};

QByteArray image(int size, const char* version) { return firmwareimages::make(size, version, "T71"); }

const Frame kFwStart = frame({0xFF, 0xFF, 0xFF, 0xF1, 0x55, 0xA0, 0, 0});
const Frame kFwEnd = frame({0xFF, 0xFF, 0xFF, 0xF1, 0x55, 0xA1, 0, 0});
const Frame kVersionQuery = frame({0xFF, 0xFF, 0xFF, 0xFF, 0x57, 0xA0, 0, 0});
const QByteArray kBusy = QByteArray::fromHex("f0fffff156a00000");
const QByteArray kReady = QByteArray::fromHex("f0fffff156a10000");

Frame chunk(const QByteArray& img, int k)
{
    const int m = std::min(7, int(img.size()) - 7 * k);
    Frame f;
    f.len = uint8_t(1 + m);
    f.data[0] = 0xFA;
    std::memcpy(f.data + 1, img.constData() + 7 * k, size_t(m));
    return f;
}

QByteArray versionOf(SimDrive& d) { return bytes(send(d, kVersionQuery).at(0)).mid(4, 3); }

Frame tableRow(int count, int index, int x10, int y10)
{
    return frame(
        {0x60, 0x01, uint8_t(count), uint8_t(index), uint8_t(x10), uint8_t(x10 >> 8), uint8_t(y10), uint8_t(y10 >> 8)});
}
const Frame kTableRead = frame({0x60, 0, 0, 0, 0, 0, 0, 0});

Frame floatWrite(uint8_t code, float v)
{
    Frame f = frame({0xF1, code, 0x11, 0, 0, 0, 0, 0});
    std::memcpy(f.data + 3, &v, 4);
    return f;
}
const Frame kEnterMotorMode = frame({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC});
const Frame kExitMotorMode = frame({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFD});
const Frame kSineMode = frame({0xF1, 0x0B, 0x01, 0x02, 0, 0, 0, 0});

Frame hybrid(unsigned p, unsigned v, unsigned kp, double kd, unsigned t)
{
    return frame({uint8_t(p >> 8), uint8_t(p), uint8_t(v >> 6), uint8_t((v & 0x3F) << 2 | (kp >> 8 & 3)), uint8_t(kp),
                  uint8_t(int(kd * 10)), uint8_t(t >> 8), uint8_t(t)});
}
}   // namespace

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
        QVERIFY(!sim::applySetting(cfg, "fw_version", "1.2.256"));
        QVERIFY(!sim::applySetting(cfg, "fw_version", "+1.2.3"));
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

    void settingsOfTheWorkflowsAreValidated()
    {
        sim::DriveConfig cfg;
        QVERIFY(sim::applySetting(cfg, "fw_ready_delay_ms", "5"));
        QCOMPARE(cfg.fwReadyDelayMs, 5u);
        QVERIFY(sim::applySetting(cfg, "calib_ms", "0"));
        QVERIFY(sim::applySetting(cfg, "identify_s", "0.5"));
        QVERIFY(sim::applySetting(cfg, "position", "0x0102"));
        QCOMPARE(cfg.position, uint16_t(0x0102));
        QVERIFY(sim::applySetting(cfg, "fw_end_ack", "0"));
        QVERIFY(!cfg.fwEndAck);
        for (const char* bad : {"-1", "65536", "", "1x"}) QVERIFY(!sim::applySetting(cfg, "position", bad));
        QVERIFY(!sim::applySetting(cfg, "identify_s", "0"));
        QVERIFY(!sim::applySetting(cfg, "identify_s", "nan"));
        QVERIFY(!sim::applySetting(cfg, "fw_ready_reply", "yes"));
        QVERIFY(!sim::applySetting(cfg, "stream_rate_hz", "0"));
        QCOMPARE(cfg.position, uint16_t(0x0102));
    }

    // Live display: every channel alone, then three together at a chosen rate.
    void liveDisplayStreamsEachChannelInItsRange()
    {
        for (int bit = 0; bit < 11; ++bit) {
            SimDrive d;
            QVERIFY(send(d, displayStart(uint16_t(1u << bit))).empty());
            QVERIFY(d.streaming());
            const auto frames = run(d, 0, 1000000);
            QCOMPARE(frames.size(), size_t(1000));
            float lo = 1e9f, hi = -1e9f;
            for (const Frame& f : frames) {
                QCOMPARE(int(f.data[0]), 0xFA);
                QCOMPARE(be16(f, 3), 0u);   // one channel: nothing in the other slots
                const float v = sample(be16(f, 1), kRange[bit][0], kRange[bit][1]);
                QVERIFY2(v >= kRange[bit][0] && v <= kRange[bit][1], qPrintable(QString::number(bit)));
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
            // A waveform, not a constant: it spans a visible part of the range.
            QVERIFY2(hi - lo > 0.01f * (kRange[bit][1] - kRange[bit][0]), qPrintable(QString::number(bit)));
        }
    }

    void liveDisplayKeepsTheConfiguredRateAndStops()
    {
        sim::DriveConfig cfg;
        QVERIFY(sim::applySetting(cfg, "stream_rate_hz", "250"));
        SimDrive d(cfg);
        // aCurrent, MotorAngle and BusVoltage, in bit order whatever the mask says.
        send(d, displayStart(0x0421));
        // Uneven steps: the count follows the clock, not the calls.
        std::vector<Frame> frames = run(d, 0, 400000, 7000);
        d.advance(1000000, frames);
        QCOMPARE(frames.size(), size_t(250));
        for (const Frame& f : frames) {
            QVERIFY(std::fabs(sample(be16(f, 1), -60, 60)) <= 60);
            QVERIFY(std::fabs(sample(be16(f, 3), -625, 625)) <= 625);
            const float bus = sample(be16(f, 5), 0, 60);
            QVERIFY(bus > 40 && bus < 56);
        }
        // A second started twice: two more seconds give 500 more frames.
        frames = run(d, 1000000, 3000000, 1000);
        QCOMPARE(frames.size(), size_t(500));

        QVERIFY(send(d, kDisplayStop).empty());
        QVERIFY(!d.streaming());
        QVERIFY(run(d, 3000000, 3100000).empty());

        // After a long stall the drive sends at most a second's worth, not a flood.
        send(d, displayStart(0x0001));
        frames.clear();
        d.advance(3000000 + 60000000, frames);
        QVERIFY(frames.size() <= 251);

        // More than three channels: the first three; none: no stream.
        SimDrive e;
        send(e, displayStart(0x07FF));
        frames = run(e, 0, 10000);
        QCOMPARE(frames.size(), size_t(10));
        const float c = sample(be16(frames.back(), 5), -60, 60);
        QVERIFY(std::fabs(c) <= 21);
        send(e, displayStart(0x0000));
        QVERIFY(!e.streaming());
        QVERIFY(run(e, 10000, 20000).empty());
    }

    void temperaturesRiseSlowlyUntilStopped()
    {
        SimDrive d;
        QVERIFY(send(d, frame({0xFF, 0xFF, 0xFF, 0xFF, 0x5E, 0xA0, 0, 0})).empty());
        const auto frames = run(d, 0, 60000000, 10000);
        QVERIFY(frames.size() >= 299 && frames.size() <= 301);   // five a second
        float last[3] = {-100, -100, -100};
        for (const Frame& f : frames) {
            QCOMPARE(int(f.data[0]), 0xF5);
            for (int k = 0; k < 3; ++k) {
                const float t = celsius(be16(f, 1 + 2 * k));
                QVERIFY(t > 20 && t < 90);
                QVERIFY(t >= last[k] - 0.01f);
                last[k] = t;
            }
        }
        QVERIFY(celsius(be16(frames.back(), 5)) > celsius(be16(frames.front(), 5)) + 1);

        send(d, frame({0xFF, 0xFF, 0xFF, 0xFF, 0x5E, 0xA1, 0, 0}));
        QVERIFY(!d.streaming());
        QVERIFY(run(d, 60000000, 61000000, 10000).empty());
    }

    void torqueTableIsReadBackAsWritten()
    {
        SimDrive d;
        // Before any write: a plausible table, rising in both columns.
        auto rows = send(d, kTableRead);
        QVERIFY(rows.size() >= 10);
        for (size_t i = 0; i < rows.size(); ++i) {
            QCOMPARE(bytes(rows[i]).left(4), QByteArray::fromHex("6010") + char(rows.size()) + char(i));
            if (i) {
                QVERIFY(le16(rows[i], 4) > le16(rows[i - 1], 4));
                QVERIFY(le16(rows[i], 6) > le16(rows[i - 1], 6));
            }
        }

        // Twelve rows; the last one is answered with a success report.
        for (int i = 0; i < 12; ++i) {
            const auto r = send(d, tableRow(12, i, 5 + 10 * i, i == 11 ? 0xFFFB : 3 + 7 * i));
            if (i < 11)
                QVERIFY(r.empty());
            else
                QCOMPARE(bytes(r.at(0)), QByteArray::fromHex("58ff000000000000"));
        }
        rows = send(d, kTableRead);
        QCOMPARE(rows.size(), size_t(12));
        QCOMPARE(bytes(rows[0]), QByteArray::fromHex("60100c0005000300"));
        QCOMPARE(bytes(rows[11]), QByteArray::fromHex("60100c0b7300fbff"));

        // A row lost on the way: refused, the table stays as it was.
        send(d, tableRow(10, 0, 1, 1));
        QCOMPARE(bytes(send(d, tableRow(10, 2, 2, 2)).at(0)), QByteArray::fromHex("5800000000000000"));
        QVERIFY(send(d, tableRow(10, 3, 3, 3)).empty());
        QCOMPARE(send(d, kTableRead).size(), size_t(12));

        // An empty table is refused; with the report switched off nothing answers.
        QCOMPARE(int(send(d, tableRow(0, 0, 1, 1)).at(0).data[1]), 0x00);
        sim::DriveConfig quiet;
        QVERIFY(sim::applySetting(quiet, "table_write_result", "0"));
        d.configure(quiet);
        QVERIFY(send(d, tableRow(1, 0, 7, 9)).empty());
        QCOMPARE(bytes(send(d, kTableRead).at(0)), QByteArray::fromHex("6010010007000900"));
    }

    // Firmware: flow control at block ends, end acknowledgement, new version afterwards.
    void firmwareTransferPacesBlocksAndTakesTheImagesVersion()
    {
        SimDrive d;
        const QByteArray img = image(7 * 2048 + 3, "1.7.2");
        QCOMPARE(bytes(send(d, kFwStart).at(0)), QByteArray::fromHex("f0fffff155a00000"));
        const int n = (int(img.size()) + 6) / 7;
        uint64_t now = 0;
        int pauses = 0;
        for (int k = 0; k < n; ++k) {
            now += 1500;
            const auto r = sendAt(d, chunk(img, k), now);
            if ((k + 1) % 1024 == 0) {
                QCOMPARE(r.size(), size_t(1));
                QCOMPARE(bytes(r[0]), kBusy);
                ++pauses;
                // Ready again 20 ms later, not before.
                QVERIFY(run(d, now, now + 19000).empty());
                std::vector<Frame> ready;
                d.advance(now + 20000, ready);
                QCOMPARE(ready.size(), size_t(1));
                QCOMPARE(bytes(ready[0]), kReady);
                now += 20000;
            } else {
                QVERIFY(r.empty());
            }
        }
        QCOMPARE(pauses, 2);
        QCOMPARE(versionOf(d), QByteArray::fromHex("010600"));

        QCOMPARE(bytes(sendAt(d, kFwEnd, now).at(0)), QByteArray::fromHex("f0fffff155a10000"));
        QCOMPARE(versionOf(d), QByteArray::fromHex("010702"));
        const auto ack = run(d, now, now + 200000);
        QCOMPARE(ack.size(), size_t(1));
        QCOMPARE(bytes(ack[0]), QByteArray::fromHex("f0ff80a000000000"));
        QVERIFY(!d.streaming());

        // Without the end acknowledgement the new version is there all the same.
        sim::DriveConfig cfg;
        QVERIFY(sim::applySetting(cfg, "fw_end_ack", "0"));
        d.configure(cfg);
        const QByteArray small = image(100, "1.7.3");
        send(d, kFwStart);
        for (int k = 0; k * 7 < small.size(); ++k) QVERIFY(send(d, chunk(small, k)).empty());
        send(d, kFwEnd);
        QVERIFY(run(d, 0, 11000000, 100000).empty());
        QCOMPARE(versionOf(d), QByteArray::fromHex("010703"));
    }

    // The boot loader installs only an image whose header and body check out; else the drive
    // keeps its version.
    void imageIsInstalledOnlyWhenSound_data()
    {
        using namespace firmwareimages;
        QTest::addColumn<QByteArray>("img");
        QTest::addColumn<QByteArray>("version");   // what the drive reports afterwards

        const QByteArray sound = image(300, "2.0.0");
        const QByteArray unchanged = QByteArray::fromHex("010600");
        QTest::newRow("sound image") << sound << QByteArray::fromHex("020000");
        QTest::newRow("header alone, empty body") << image(96, "2.0.0") << QByteArray::fromHex("020000");
        QTest::newRow("leading zeros in the version") << image(300, "1.07.000") << QByteArray::fromHex("010700");

        QByteArray headerCrc = sound;
        headerCrc[92] = char(headerCrc[92] ^ 0x01);
        QTest::newRow("bad header CRC") << headerCrc << unchanged;
        QByteArray edited = sound;
        edited[30] = '9';   // 2.9.0, the header not sealed again
        QTest::newRow("header changed after packing") << edited << unchanged;
        QByteArray body = sound;
        body[200] = char(body[200] ^ 0x80);
        QTest::newRow("bad body CRC") << body << unchanged;
        QByteArray bigger = sound;
        putLE32(bigger, 88, 300 - 96 + 1);
        sealHeader(bigger);
        QTest::newRow("size field one more than the body") << bigger << unchanged;
        QByteArray smaller = sound;
        putLE32(smaller, 88, 300 - 96 - 1);
        sealHeader(smaller);
        QTest::newRow("size field one less than the body") << smaller << unchanged;
        QTest::newRow("body truncated") << sound.left(299) << unchanged;
        QTest::newRow("byte appended") << sound + 'x' << unchanged;
        QTest::newRow("header truncated") << sound.left(95) << unchanged;
        QTest::newRow("only the fields the tool reads") << sound.left(76) << unchanged;
        QTest::newRow("75 bytes") << sound.left(75) << unchanged;

        QByteArray magic = image(300, "2.0.0");
        magic[0] = 'X';
        sealHeader(magic);
        QTest::newRow("wrong magic, header sealed") << magic << unchanged;
        QTest::newRow("version not a.b.c") << image(300, "v2.0") << unchanged;
        QTest::newRow("version past a byte") << image(300, "2.256.0") << unchanged;
    }

    void imageIsInstalledOnlyWhenSound()
    {
        QFETCH(QByteArray, img);
        QFETCH(QByteArray, version);
        SimDrive d;
        send(d, kFwStart);
        for (int k = 0; k * 7 < img.size(); ++k) QVERIFY(send(d, chunk(img, k)).empty());
        send(d, kFwEnd);
        QCOMPARE(versionOf(d), version);
    }

    void crc32OfTheCheckValue()
    {
        QCOMPARE(sim::crc32("123456789", 9), 0xCBF43926u);
        QCOMPARE(sim::crc32("", 0), 0u);
        QCOMPARE(sim::crc32("a", 1), 0xE8B7BE43u);
    }

    void firmwareTransferFailuresLeaveTheVersion()
    {
        // Chunks sent while the drive is busy spoil the image.
        {
            SimDrive d;
            const QByteArray img = image(7 * 1100, "2.0.0");
            send(d, kFwStart);
            for (int k = 0; k < 1100; ++k) send(d, chunk(img, k));   // no waiting for ready
            send(d, kFwEnd);
            QCOMPARE(versionOf(d), QByteArray::fromHex("010600"));
        }
        // The ready and end replies can be held back to provoke the tool's time-outs.
        sim::DriveConfig cfg;
        QVERIFY(sim::applySetting(cfg, "fw_ready_reply", "0"));
        QVERIFY(sim::applySetting(cfg, "fw_end_ack", "0"));
        SimDrive d(cfg);
        const QByteArray img = image(7 * 1024 + 1, "1.8.0");
        send(d, kFwStart);
        for (int k = 0; k < 1024; ++k) send(d, chunk(img, k));
        QVERIFY(!d.streaming());
        QVERIFY(run(d, 0, 6000000, 100000).empty());
        send(d, chunk(img, 1024));
        send(d, kFwEnd);
        QVERIFY(run(d, 0, 11000000, 100000).empty());
        // The last chunk came while busy: the transfer was spoilt, so no new version either.
        QCOMPARE(versionOf(d), QByteArray::fromHex("010600"));

        // A slow drive is busy from the block's last chunk, before it says so.
        sim::DriveConfig slow;
        QVERIFY(sim::applySetting(slow, "fw_busy_delay_ms", "100"));
        QVERIFY(sim::applySetting(slow, "fw_ready_delay_ms", "50"));
        SimDrive s(slow);
        send(s, kFwStart);
        for (int k = 0; k < 1023; ++k) sendAt(s, chunk(img, k), 0);
        QVERIFY(sendAt(s, chunk(img, 1023), 0).empty());
        QVERIFY(s.streaming());
        QVERIFY(run(s, 0, 99000).empty());
        const auto busy = run(s, 99000, 149000);
        QCOMPARE(busy.size(), size_t(1));
        QCOMPARE(bytes(busy[0]), kBusy);
        const auto ready = run(s, 149000, 200000);
        QCOMPARE(ready.size(), size_t(1));
        QCOMPARE(bytes(ready[0]), kReady);
        sendAt(s, chunk(img, 1024), 200000);
        send(s, kFwEnd);
        QCOMPARE(versionOf(s), QByteArray::fromHex("010800"));
    }

    void bootLoaderJumpIsAcknowledgedByT71AndT73Only()
    {
        const Frame jump = frame({0xFF, 0xFF, 0xFF, 0xF1, 0x55, 0xB0, 0, 0});
        for (const char* type : {"T71", "T73"}) {
            sim::DriveConfig cfg;
            QVERIFY(sim::applySetting(cfg, "product_type", type));
            SimDrive d(cfg);
            QCOMPARE(bytes(send(d, jump).at(0)), QByteArray::fromHex("f0fffff155b00000"));
            QVERIFY(sim::applySetting(cfg, "fw_jump_ack", "0"));
            d.configure(cfg);
            QVERIFY(send(d, jump).empty());
        }
        SimDrive qm72;
        QVERIFY(send(qm72, jump).empty());
    }

    void calibrationReportsResultsThenFinishes()
    {
        SimDrive d;
        const Frame start = frame({0xF1, 0xFF, 0xFF, 0xFF, 0x70, 0xA0, 0, 0});
        QVERIFY(sendAt(d, start, 1000).empty());
        QVERIFY(d.streaming());
        QVERIFY(run(d, 1000, 2000000, 1000).empty());
        std::vector<Frame> out;
        d.advance(2001000, out);
        QCOMPARE(out.size(), size_t(6));
        const int codes[] = {44, 45, 46, 47, 51};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(int(out[i].data[0]), 0xF1);
            QCOMPARE(int(out[i].data[1]), codes[i]);
            QCOMPARE(out[i].data[2] & 0x0F, 2);
        }
        const float r = floatAt(out[0]);
        QVERIFY(r > 0.1f && r < 2.0f);
        QVERIFY(floatAt(out[1]) > 0 && floatAt(out[1]) < 0.01f);
        int32_t poles, dir;
        std::memcpy(&poles, out[2].data + 3, 4);
        std::memcpy(&dir, out[3].data + 3, 4);
        QVERIFY(poles > 0 && poles < 100);
        QVERIFY(dir == 1 || dir == -1);
        QCOMPARE(bytes(out[5]), QByteArray::fromHex("f0ff70a000000000"));
        double kept = 0;
        QVERIFY(d.parameter(5, &kept));
        QCOMPARE(float(kept), r);
        QVERIFY(!d.streaming());
        QVERIFY(run(d, 2001000, 5000000, 10000).empty());

        // Stopped before it ends: nothing is reported.
        sim::DriveConfig cfg;
        QVERIFY(sim::applySetting(cfg, "calib_ms", "500"));
        SimDrive e(cfg);
        sendAt(e, start, 0);
        sendAt(e, frame({0xF1, 0xFF, 0xFF, 0xFF, 0x70, 0xA1, 0, 0}), 400000);
        QVERIFY(run(e, 0, 3000000, 10000).empty());
        sendAt(e, start, 3000000);
        QCOMPARE(run(e, 3000000, 3500000, 10000).size(), size_t(6));
    }

    void identificationStreamsInSineModeWithMotorOn()
    {
        SimDrive d;
        const Frame torque = floatWrite(0x30, 1.0f);
        QCOMPARE(bytes(torque), QByteArray::fromHex("f130110000803f00"));
        // Neither in sine mode nor in motor mode: the torque is only a set-point.
        QCOMPARE(send(d, torque).at(0).data[2] & 0x0F, 3);
        send(d, kEnterMotorMode);
        send(d, torque);
        QVERIFY(!d.streaming());

        QCOMPARE(send(d, kSineMode).at(0).data[2] & 0x0F, 3);
        QCOMPARE(sendAt(d, torque, 10000).at(0).data[2] & 0x0F, 3);
        QVERIFY(d.identifying());
        const auto frames = run(d, 10000, 3100000, 1000);
        QCOMPARE(bytes(frames.front()), QByteArray::fromHex("fb10000000000000"));
        QCOMPARE(bytes(frames.back()), QByteArray::fromHex("fb11000000000000"));
        QCOMPARE(frames.size(), size_t(2 + 1500));   // 500 samples a second for 3 s
        float speedSpan[2] = {1e9f, -1e9f}, iqSpan[2] = {1e9f, -1e9f};
        for (size_t i = 1; i + 1 < frames.size(); ++i) {
            QCOMPARE(bytes(frames[i]).left(2), QByteArray::fromHex("fb1f"));
            const float s = speedOf(be24(frames[i], 2));
            const float iq = iqOf(be24(frames[i], 5));
            QVERIFY(s >= -200 && s <= 200 && iq >= -20 && iq <= 20);
            speedSpan[0] = std::min(speedSpan[0], s);
            speedSpan[1] = std::max(speedSpan[1], s);
            iqSpan[0] = std::min(iqSpan[0], iq);
            iqSpan[1] = std::max(iqSpan[1], iq);
        }
        QVERIFY(speedSpan[1] - speedSpan[0] > 20 && iqSpan[1] - iqSpan[0] > 5);
        QVERIFY(!d.streaming());

        // Leaving motor mode breaks a run off without its end frame.
        sim::DriveConfig cfg;
        QVERIFY(sim::applySetting(cfg, "identify_s", "1"));
        d.configure(cfg);
        sendAt(d, torque, 4000000);
        auto part = run(d, 4000000, 4500000, 1000);
        QCOMPARE(part.size(), size_t(1 + 250));
        send(d, kExitMotorMode);
        QVERIFY(run(d, 4500000, 6000000, 1000).empty());
        // Motor on again: a fresh run of the configured length.
        send(d, kEnterMotorMode);
        sendAt(d, torque, 6000000);
        part = run(d, 6000000, 7100000, 1000);
        QCOMPARE(part.size(), size_t(2 + 500));
        QCOMPARE(int(part.back().data[1]), 0x11);
    }

    // Through the adapter stand-in: the bus's ticker carries the streams and delayed replies.
    void busDeliversStreamsAndDelayedReplies()
    {
        SimReset();
        QVERIFY(OpenDevice(4, 0, 0));
        CanInitConfig init{};
        QVERIFY(InitCAN(4, 0, 1, &init));
        QVERIFY(StartCAN(4, 0, 1));
        auto transmit = [](const Frame& f) {
            CanFrameObject obj{};
            obj.dataLen = f.len;
            std::memcpy(obj.data, f.data, 8);
            return Transmit(4, 0, 1, &obj, 1) == 1;
        };
        auto drain = [] {
            std::vector<CanFrameObject> got;
            CanFrameObject buf[512];
            for (;;) {
                const uint32_t n = Receive(4, 0, 1, buf, 512, 0);
                if (n == 0 || n > 512) break;
                got.insert(got.end(), buf, buf + n);
            }
            return got;
        };

        QVERIFY(transmit(displayStart(0x0001)));
        QElapsedTimer clock;
        clock.start();
        QThread::msleep(300);
        QVERIFY(transmit(kDisplayStop));
        const qint64 ms = clock.elapsed();
        const auto samples = drain();
        for (const CanFrameObject& f : samples) QCOMPARE(int(f.data[0]), 0xFA);
        QVERIFY2(samples.size() >= size_t(ms) * 6 / 10 && samples.size() <= size_t(ms) + 20,
                 qPrintable(QString("%1 frames in %2 ms").arg(samples.size()).arg(ms)));
        QThread::msleep(30);
        QVERIFY(drain().empty());

        // The ready reply after a block arrives by itself, a little later.
        const QByteArray img = image(7 * 1024 + 7, "1.9.0");
        QVERIFY(SimConfigure("fw_ready_delay_ms", "100"));
        QVERIFY(transmit(kFwStart));
        for (int k = 0; k < 1024; ++k) QVERIFY(transmit(chunk(img, k)));
        auto replies = drain();
        QCOMPARE(replies.size(), size_t(2));   // echo of the start, busy
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(replies[1].data), 8), kBusy);
        auto waitFor = [&](size_t count) {
            std::vector<CanFrameObject> got;
            QElapsedTimer t;
            t.start();
            while (got.size() < count && t.elapsed() < 1000) {
                QThread::msleep(5);
                const auto more = drain();
                got.insert(got.end(), more.begin(), more.end());
            }
            return got;
        };
        replies = waitFor(1);
        QCOMPARE(replies.size(), size_t(1));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(replies[0].data), 8), kReady);
        QVERIFY(transmit(chunk(img, 1024)));
        QVERIFY(transmit(kFwEnd));
        replies = waitFor(2);   // echo of the end, then the end acknowledgement
        QCOMPARE(replies.size(), size_t(2));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(replies[1].data), 8),
                 QByteArray::fromHex("f0ff80a000000000"));
        CloseDevice(4, 0);
        SimReset();
    }

    void hybridPageGetsPositionAndFeedback()
    {
        sim::DriveConfig cfg;
        QVERIFY(sim::applySetting(cfg, "position", "0x0102"));
        SimDrive d(cfg);
        const Frame query = frame({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x9C});
        auto r = send(d, query);
        QCOMPARE(r.size(), size_t(1));
        QCOMPARE(int(r[0].data[0]), 0x9C);
        QCOMPARE(le16(r[0], 6), 0x0102u);

        // Before the enable a hybrid frame is nobody's business.
        QVERIFY(send(d, hybrid(0x0102, 0, 0, 0, 0)).empty());
        QVERIFY(send(d, frame({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC, 0xFC})).empty());
        QVERIFY(d.hybridEnabled());
        r = send(d, hybrid(0x0102, 0, 0, 0, 0));   // the hold frame
        QCOMPARE(bytes(r.at(0)), QByteArray::fromHex("3300000000000201"));

        // Toward 1000 at 100 per frame, with a torque of 2000 and Kp 16.
        for (unsigned expected : {358u, 458u, 558u}) {
            r = send(d, hybrid(1000, 100, 16, 0.5, 2000));
            QCOMPARE(int(r.at(0).data[0]), 0x33);
            QCOMPARE(le16(r[0], 6), expected);
            QCOMPARE(le16(r[0], 4), 100u);
            QVERIFY(le16(r[0], 2) > 2000);
        }
        r = send(d, hybrid(1000, 0, 0, 0, 0));   // speed 0: no limit
        QCOMPARE(le16(r.at(0), 6), 1000u);
        QCOMPARE(le16(send(d, query).at(0), 6), 1000u);
        // Commands keep their meaning in hybrid mode.
        QCOMPARE(int(send(d, kVersionQuery).at(0).data[0]), 0xF0);
        // Leaving motor mode disables the hybrid control again.
        send(d, kExitMotorMode);
        QVERIFY(send(d, hybrid(2000, 0, 0, 0, 0)).empty());
    }
};

QTEST_GUILESS_MAIN(SimulatedDrive)
#include "tst_simulateddrive.moc"
