#include "protocol/motorprotocol.h"

#include <QtTest>

#include <set>

using namespace protocol;

namespace {
QByteArray bytes(const Frame& f) { return QByteArray(reinterpret_cast<const char*>(f.data()), 8); }
QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

std::set<int> codes(bool (*pred)(MotorConfig))
{
    std::set<int> out;
    for (int c = -5; c < 300; ++c)
        if (pred(static_cast<MotorConfig>(c))) out.insert(c);
    return out;
}

std::set<int> range(int a, int b)
{
    std::set<int> s;
    for (int i = a; i <= b; ++i) s.insert(i);
    return s;
}

std::set<int> join(std::initializer_list<std::set<int>> parts)
{
    std::set<int> s;
    for (const auto& p : parts) s.insert(p.begin(), p.end());
    return s;
}
}   // namespace

class CommandFrames : public QObject {
    Q_OBJECT

private slots:
    void parameterRequests()
    {
        QCOMPARE(bytes(writeRequest(MotorConfig::ControlMode, controlModeWire(4))), hex("f10b010500000000"));
        QCOMPARE(bytes(writeRequest(MotorConfig::ControlMode, controlModeWire(3))), hex("f10b010300000000"));
        QCOMPARE(bytes(writeRequest(MotorConfig::InvertMotorDir, 1)), hex("f101010100000000"));
        QCOMPARE(bytes(writeRequest(MotorConfig::InvertMotorDir, 0)), hex("f101010000000000"));
        QCOMPARE(bytes(writeRequest(MotorConfig::SynchronizationEnable, 0x1234)), hex("f110013400000000"));
        QCOMPARE(bytes(writeRequest(MotorConfig::CurrentLimit, 21.0f)), hex("f1071100 00a84100").replace(' ', ""));
        QCOMPARE(bytes(writeRequest(MotorConfig::MotorPolePairs, 7)), hex("f104010700000000"));
        QCOMPARE(bytes(writeRequest(MotorConfig::NodeID, -2)), hex("f11e01feffffff00"));
        QCOMPARE(bytes(readRequest(MotorConfig::HardwareVersion)), hex("f149020000000000"));
        QCOMPARE(bytes(readRequest(MotorConfig::EncoderOffset)), hex("f124020000000000"));
        QCOMPARE(bytes(readRequest(MotorConfig::ProductBatch)), hex("f146020000000000"));
        QCOMPARE(bytes(readRequest(MotorConfig::Inertia)), hex("f102120000000000"));
    }

    void accessSetsMatchTheCommandSet()
    {
        QCOMPARE(codes(canRead), join({range(1, 30), range(32, 38), {40, 42}, range(52, 60), range(70, 74)}));
        QCOMPARE(codes(canWriteFloat), join({{2, 3},
                                             range(5, 10),
                                             range(12, 15),
                                             range(17, 29),
                                             {37, 38, 40, 42},
                                             range(48, 50),
                                             {52, 53},
                                             range(55, 60)}));
        QCOMPARE(codes(canWriteInt), join({{1, 4, 11, 16, 30, 32, 33, 54}, range(70, 74)}));
        for (int c : {0, 31, 39, 41, 43, 61, 69, 75, 255, -1}) QVERIFY(!parameterInfo(c));
    }

    void logNames()
    {
        QCOMPARE(QString(parameterInfo(MotorConfig::HeartbeatConsumer_ms)->logName), QString("HeartbeatConsumer(ms)"));
        QCOMPARE(QString(parameterInfo(MotorConfig::HeartbeatConsumer_ms)->name), QString("HeartbeatConsumer_ms"));
        QCOMPARE(QString(parameterInfo(MotorConfig::EncoderOffset_Calib)->logName), QString("EncoderOffset(calib)"));
        QCOMPARE(QString(parameterInfo(MotorConfig::MotorPolePairs_Calib)->logName), QString("MotorPolePairs(Calib)"));
        QCOMPARE(QString(parameterInfo(MotorConfig::MotorType)->name), QString("MotorType"));
        std::set<int> send;
        for (int c = 0; c < 256; ++c)
            if (parameterInfo(c) && parameterInfo(c)->writeSaysSend) send.insert(c);
        QCOMPARE(send, join({{38, 40, 42, 52, 53}, range(55, 60)}));
    }

    void fixedCommandFrames_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("enter") << 0 << hex("fffffffffffffffc");
        QTest::newRow("exit") << 1 << hex("fffffffffffffffd");
        QTest::newRow("zero") << 2 << hex("fffffffffffffffe");
        QTest::newRow("fw start") << 4 << hex("fffffff155a00000");
        QTest::newRow("fw end") << 5 << hex("fffffff155a10000");
        QTest::newRow("stop display") << 6 << hex("ffffffff55a1ffff");
        QTest::newRow("fw version") << 7 << hex("ffffffff57a00000");
        QTest::newRow("product type") << 8 << hex("ffffffff56a00000");
        QTest::newRow("state") << 9 << hex("f2ffffff55a00000");
        QTest::newRow("reset") << 10 << hex("f1ffffff66a00000");
        QTest::newRow("save") << 11 << hex("f1ffffff65a00000");
        QTest::newRow("save info") << 12 << hex("f1ffffff64a00000");
    }

    void fixedCommandFrames()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, frame);
        Frame f{};
        QVERIFY(commandFrame(static_cast<MotorType>(type), &f));
        QCOMPARE(bytes(f), frame);
    }

    void framelessTypesAreRefused()
    {
        Frame f{1, 2, 3, 4, 5, 6, 7, 8};
        for (int t : {3, 13, -1, 100}) QVERIFY(!commandFrame(static_cast<MotorType>(t), &f));
        QCOMPARE(bytes(f), hex("0102030405060708"));
    }

    void controlModeMapping()
    {
        const int wires[] = {0, 1, 2, 3, 5};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(controlModeWire(i), wires[i]);
            QCOMPARE(controlModeIndex(wires[i]), i);
        }
        QCOMPARE(controlModeIndex(4), 4);
        QCOMPARE(controlModeIndex(6), 5);
    }

    void littleEndianFields()
    {
        const uint8_t f[] = {0x00, 0x00, 0xA0, 0x41, 0xFF, 0xFF, 0xFF, 0xFF};
        QCOMPARE(readFloatLE(f), 20.0f);
        QCOMPARE(readInt32LE(f + 4), -1);
        QCOMPARE(readUInt32LE(f + 4), 4294967295u);
        QCOMPARE(hexBytes(f, 3), QString(" 00 00 a0"));
        QCOMPARE(hexBytes(f, 0), QString());
    }

    void enumsAreRegisteredMetaTypes()
    {
        registerMetaTypes();
        QVERIFY(QMetaType::fromName("MotorConfig").isValid());
        QVERIFY(QMetaType::fromName("MotorType").isValid());
    }
};

QTEST_GUILESS_MAIN(CommandFrames)
#include "tst_commandframes.moc"
