#include <QtTest>

#include "vocabulary/loadyaml.h"
#include "support/messagelog.h"

#include <cmath>

class ParameterDefinitionsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::string write(const QByteArray& content)
    {
        QFile f(dir.filePath("params.yaml"));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write test file");
        f.write(content);
        return f.fileName().toStdString();
    }

private slots:
    void absentNumbersAreZeroPerEntry()
    {
        MotorParameterLoader loader;
        QVERIFY(
            loader.loadFromFile(write("parameters:\n"
                                      "  - {name: a, value: 5}\n"
                                      "  - {name: b, value: 1, min_value: -2, max_value: 9, description: 说明}\n"
                                      "  - {name: c, value: 3}\n")));
        const Parameter* a = loader.getParameterByName("a");
        QVERIFY(a);
        QCOMPARE(a->min_value, 0.0);
        const Parameter* b = loader.getParameterByName("b");
        QCOMPARE(b->min_value, -2.0);
        QCOMPARE(b->max_value, 9.0);
        QCOMPARE(QString::fromStdString(b->description), QStringLiteral("说明"));
        const Parameter* c = loader.getParameterByName("c");
        QCOMPARE(c->value, 3.0);
        QCOMPARE(c->min_value, 0.0);
        QCOMPARE(c->max_value, 0.0);
        QVERIFY(c->description.empty());
    }

    void badNumberCostsOnlyItself_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("bad");
        for (const char* key : {"value", "min_value", "max_value"}) {
            QTest::addRow("%s word", key) << QByteArray(key) << QByteArray("fast");
            QTest::addRow("%s empty", key) << QByteArray(key) << QByteArray("");
            QTest::addRow("%s list", key) << QByteArray(key) << QByteArray("[1, 2]");
            QTest::addRow("%s map", key) << QByteArray(key) << QByteArray("{a: 1}");
        }
    }
    void badNumberCostsOnlyItself()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, bad);
        QByteArray element = "  - name: 速度\n    value: 4\n    min_value: 1\n    max_value: 8\n";
        element.replace("    " + key + ": ", "    " + key + ": " + bad + " # ");
        MotorParameterLoader loader;
        MessageLog log;
        QVERIFY(loader.loadFromFile(write("parameters:\n" + element + "  - {name: next, value: 2}\n")));
        QCOMPARE(log.lines.size(), 1);
        QVERIFY2(log.lines.first().startsWith("D:Error converting " + key + " for 速度: "),
                 qPrintable(log.lines.first()));
        const Parameter* p = loader.getParameterByName("速度");
        QVERIFY(p);
        QCOMPARE(p->value, key == "value" ? 0.0 : 4.0);
        QCOMPARE(p->min_value, key == "min_value" ? 0.0 : 1.0);
        QCOMPARE(p->max_value, key == "max_value" ? 0.0 : 8.0);
        QVERIFY(loader.getParameterByName("next"));
    }

    // Infinity and not-a-number would reach the input boxes and then the drive.
    void nonFiniteNumbersAreConversionErrors()
    {
        MotorParameterLoader loader;
        MessageLog log;
        QVERIFY(
            loader.loadFromFile(write("parameters:\n  - {name: x, value: .nan, min_value: -.inf, max_value: .Inf}\n"
                                      "  - {name: y, value: 1e3, min_value: -1e300, max_value: 1e400}\n")));
        const Parameter* x = loader.getParameterByName("x");
        QCOMPARE(x->value, 0.0);
        QCOMPARE(x->min_value, 0.0);
        QCOMPARE(x->max_value, 0.0);
        const Parameter* y = loader.getParameterByName("y");
        QCOMPARE(y->value, 1000.0);
        QCOMPARE(y->min_value, -1e300);
        QCOMPARE(y->max_value, 0.0);
        QCOMPARE(log.lines.size(), 4);
        QVERIFY(log.lines[0].startsWith("D:Error converting value for x: "));
        QVERIFY(log.lines[1].startsWith("D:Error converting min_value for x: "));
        QVERIFY(log.lines[2].startsWith("D:Error converting max_value for x: "));
        QVERIFY(log.lines[3].startsWith("D:Error converting max_value for y: "));
    }

    void laterEntryReplacesWhole()
    {
        MotorParameterLoader loader;
        QVERIFY(
            loader.loadFromFile(write("parameters:\n"
                                      "  - {name: p, value: 1, min_value: 1, max_value: 1, description: old}\n"
                                      "  - {name: p, value: 2, max_value: 5}\n")));
        const Parameter* p = loader.getParameterByName("p");
        QCOMPARE(p->value, 2.0);
        QCOMPARE(p->min_value, 0.0);
        QCOMPARE(p->max_value, 5.0);
        QVERIFY(p->description.empty());
        QCOMPARE(loader.parameters.size(), size_t(1));
    }

    void lookupIsExact()
    {
        MotorParameterLoader loader;
        QVERIFY(loader.loadFromFile(write("parameters:\n  - {name: CurrentLimit, value: 1}\n  - {name: 节点ID}\n")));
        QVERIFY(loader.getParameterByName("CurrentLimit"));
        QVERIFY(loader.getParameterByName("节点ID"));
        QVERIFY(!loader.getParameterByName("currentlimit"));
        QVERIFY(!loader.getParameterByName("CurrentLimit "));
        QVERIFY(!loader.getParameterByName("节点id"));
    }

    void emptyOrAbsentParameters_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("ok");
        QTest::newRow("empty list") << QByteArray("parameters: []\n") << true;
        QTest::newRow("no value") << QByteArray("parameters:\n") << true;
        QTest::newRow("empty map") << QByteArray("parameters: {}\n") << true;
        QTest::newRow("plain value") << QByteArray("parameters: 5\n") << true;
        QTest::newRow("no key") << QByteArray("other:\n  - {name: a}\n") << false;
        QTest::newRow("empty file") << QByteArray("") << false;
        QTest::newRow("root is a list") << QByteArray("- parameters\n- {name: a}\n") << false;
        QTest::newRow("root is a scalar") << QByteArray("parameters\n") << false;
    }
    void emptyOrAbsentParameters()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, ok);
        MotorParameterLoader loader;
        MessageLog log;
        QCOMPARE(loader.loadFromFile(write(content)), ok);
        QVERIFY(log.lines.isEmpty());
        QVERIFY(!loader.getParameterByName("a"));
        QVERIFY(loader.parameters.empty());
    }

    void malformedFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("syntax error") << QByteArray("parameters:\n  - {name: a\n");
        QTest::newRow("element is a scalar") << QByteArray("parameters:\n  - {name: kept}\n  - text\n");
        QTest::newRow("element is a list") << QByteArray("parameters:\n  - {name: kept}\n  - [name, a]\n");
        QTest::newRow("no name") << QByteArray("parameters:\n  - {name: kept}\n  - {value: 1}\n");
        QTest::newRow("name is a list") << QByteArray("parameters:\n  - {name: kept}\n  - {name: [a]}\n");
        QTest::newRow("description is a map")
            << QByteArray("parameters:\n  - {name: kept}\n  - {name: a, description: {x: y}}\n");
        QTest::newRow("parameters is a map") << QByteArray("parameters:\n  name: a\n  value: 1\n");
    }
    void malformedFile()
    {
        QFETCH(QByteArray, content);
        MotorParameterLoader loader;
        MessageLog log;
        QVERIFY(!loader.loadFromFile(write(content)));
        QVERIFY(!loader.getParameterByName("a"));
        if (content.contains("kept")) QVERIFY(loader.getParameterByName("kept"));
    }

    void missingFile()
    {
        MotorParameterLoader loader;
        MessageLog log;
        QVERIFY(!loader.loadFromFile(dir.filePath("absent.yaml").toStdString()));
    }

    void sampleFileHoldsEveryParameter()
    {
        const QStringList names = {
            "转动惯量",     "转矩常数",         "电磁极极对数",       "电机相电阻",         "电机相电感",
            "电机电流限制", "电机转速限制",     "突破电流",           "力矩比例",           "电流比例",
            "电机转动惯量", "电机粘性摩擦",     "电机静摩擦",         "校准电流",           "校准电压",
            "编码器偏移",   "位置环增益",       "转速环增益",         "转速环积分增益",     "电流环控制带宽",
            "减速比",       "转速到达窗口",     "位置到达窗口",       "转矩爬升速度",       "转速爬升速度",
            "位置过滤带宽", "轮廓模式最大转速", "轮廓模式最大加速度", "轮廓模式最大减速度", "欠压保护阈值",
            "过压保护阈值", "过流保护阈值",     "最大母线电流",       "最大漏电流",         "MCU最高温度",
            "MOS最高温度",  "电机最高温度",     "堵转触发时间",       "堵转触发速度",       "堵转触发电流",
            "节点ID",       "心跳接收超时时间", "心跳发送时间间隔"};
        QCOMPARE(names.size(), 43);
        MotorParameterLoader loader;
        MessageLog log;
        QVERIFY(loader.loadFromFile(QUINTREL_CONFIG_DIR "/motor_parameter_config.yaml"));
        QVERIFY2(log.lines.isEmpty(), qPrintable(log.lines.join('\n')));
        for (const QString& name : names) {
            const Parameter* p = loader.getParameterByName(name.toStdString());
            QVERIFY2(p, qPrintable(name));
            QVERIFY2(p->min_value <= p->value && p->value <= p->max_value, qPrintable(name));
            QVERIFY2(!p->description.empty(), qPrintable(name));
        }
    }
};

QTEST_MAIN(ParameterDefinitionsTest)
#include "tst_parameterdefinitions.moc"
