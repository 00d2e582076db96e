#include <QtTest>

#include "vocabulary/loadyaml.h"
#include "support/messagelog.h"

#include <future>

namespace {

using ListLookup = bool (StateChecker::*)(const QString&, quint64, QList<QString>&);

quint64 widened(quint32 word) { return quint64(qint64(qint32(word))); }

}   // namespace

Q_DECLARE_METATYPE(ListLookup)

class StateVocabularyTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString write(const QString& name, const QByteArray& content)
    {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly)) qFatal("cannot write test file");
        f.write(content);
        return f.fileName();
    }

private slots:
    void bitListsAscendingWithPadding_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<ListLookup>("lookup");
        QTest::newRow("error") << QByteArray("error_word") << &StateChecker::getErrorWords;
        QTest::newRow("drv error") << QByteArray("drv_error_word") << &StateChecker::getDrvErrorWords;
        QTest::newRow("warning") << QByteArray("warnning") << &StateChecker::getWarnning;
    }
    void bitListsAscendingWithPadding()
    {
        QFETCH(QByteArray, section);
        QFETCH(ListLookup, lookup);
        StateChecker sc;
        QVERIFY(sc.loadYamlFile(write("bits.yaml", "QM72:\n  " + section + ":\n    1<<3: B\n    1<<0: A\n")));
        QList<QString> out;
        QVERIFY((sc.*lookup)("QM72", 9, out));
        QCOMPARE(out, QList<QString>({"A", "B"}));
        QVERIFY((sc.*lookup)("QM72", 8, out));
        QCOMPARE(out, QList<QString>({"B"}));
        QVERIFY((sc.*lookup)("QM72", 0, out));
        QCOMPARE(out, QList<QString>({"PADDING"}));
        QVERIFY((sc.*lookup)("QM72", 0x10, out));
        QCOMPARE(out, QList<QString>({"PADDING"}));
    }

    void stateWordNeedsExactValue()
    {
        StateChecker sc;
        QVERIFY(sc.loadYamlFile(write("state.yaml", "QM72:\n  state_word:\n    1<<2: 电机模式\n    1<<31: S31\n")));
        QString out;
        QVERIFY(sc.getStateWord("QM72", 4, out));
        QCOMPARE(out, QStringLiteral("电机模式"));
        for (quint64 v : {quint64(6), quint64(0), widened(0x80000000)}) {
            QVERIFY(sc.getStateWord("QM72", v, out));
            QCOMPARE(out, QStringLiteral("PADDING"));
        }
    }

    void bit31WidenedReachesHighBits()
    {
        StateChecker sc;
        QVERIFY(sc.loadYamlFile(
            write("wide.yaml", "QM72:\n  error_word:\n    1<<40: E40\n    1<<31: E31\n    1<<0: E0\n")));
        QList<QString> out;
        QVERIFY(sc.getErrorWords("QM72", widened(0x80000000), out));
        QCOMPARE(out, QList<QString>({"E31", "E40"}));
        QVERIFY(sc.getErrorWords("QM72", widened(0x00000001), out));
        QCOMPARE(out, QList<QString>({"E0"}));
    }

    void unknownModelsAndMissingSections()
    {
        StateChecker sc;
        QVERIFY(sc.loadYamlFile(write("partial.yaml", "QM72:\n  error_word:\n    1<<0: A\n  other: x\n")));
        MessageLog log;
        QString state = "untouched";
        QVERIFY(!sc.getStateWord("QM72", 1, state));
        QCOMPARE(state, QStringLiteral("untouched"));
        QCOMPARE(log.lines, QStringList({"D:no model"}));

        QList<QString> out{"stale"};
        QVERIFY(!sc.getErrorWords("qm72", 1, out));   // product types are case-sensitive
        QVERIFY(out.isEmpty());
        out = {"stale"};
        QVERIFY(!sc.getWarnning("QM72", 1, out));
        QVERIFY(out.isEmpty());
        QVERIFY(sc.getErrorWords("QM72", 1, out));
        QCOMPARE(out, QList<QString>({"A"}));
        QCOMPARE(log.lines.size(), 1);   // only getStateWord reports a missing model
    }

    void keysTextsAndReloading()
    {
        StateChecker sc;
        QVERIFY(sc.loadYamlFile(write("keys.yaml",
                                      "QM72:\n  error_word:\n    1<<3: first\n    bit 1<<3: second\n"
                                      "    1<<05: leading zero\n    1<<6:\n")));
        QCOMPARE(sc.errorWordMap["QM72"], (QMap<quint64, QString>{{8, "second"}, {32, "leading zero"}, {64, "null"}}));

        // A second load adds to the tables; it does not empty them.
        QVERIFY(sc.loadYamlFile(write("more.yaml", "T71:\n  error_word:\n    1<<1: t\n")));
        QVERIFY(sc.errorWordMap.contains("QM72"));
        QVERIFY(sc.errorWordMap.contains("T71"));
    }

    void extractShiftValue_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("n");
        QTest::newRow("plain") << "1<<3" << 3;
        QTest::newRow("prefixed") << "bit 1<<3" << 3;
        QTest::newRow("highest") << "1<<63" << 63;
        QTest::newRow("no digits") << "1<<" << -1;
        QTest::newRow("no pattern") << "bit3" << -1;
        QTest::newRow("above 32 bits") << "1<<4294967296" << -1;
    }
    void extractShiftValue()
    {
        QFETCH(QString, key);
        QFETCH(int, n);
        QCOMPARE(StateChecker().extractShiftValue(key), n);
    }

    void unusableBitKeysAreSkipped()
    {
        StateChecker sc;
        MessageLog log;
        QVERIFY(sc.loadYamlFile(write("badkeys.yaml",
                                      "T71:\n  warnning:\n    bit3: none\n    1<<64: wide\n"
                                      "    1<<3000000000: huge\n    1<<2: ok\n")));
        QCOMPARE(sc.warnningMap["T71"], (QMap<quint64, QString>{{4, "ok"}}));
        QCOMPARE(log.lines.size(), 3);
        for (const QString key : {"bit3", "1<<64", "1<<3000000000"})
            QVERIFY2(!log.lines.filter("\"" + key + "\"").filter("\"T71\"").isEmpty(), qPrintable(key));
        QList<QString> out;
        QVERIFY(sc.getWarnning("T71", quint64(1) << 63, out));
        QCOMPARE(out, QList<QString>({"PADDING"}));
    }

    void emptyAndMissingStateFile()
    {
        StateChecker sc;
        QVERIFY(sc.loadYamlFile(write("empty.yaml", "")));
        QList<QString> out;
        QString state;
        QVERIFY(!sc.getErrorWords("QM72", 1, out));
        QVERIFY(!sc.getDrvErrorWords("QM72", 1, out));
        QVERIFY(!sc.getWarnning("QM72", 1, out));
        QVERIFY(!sc.getStateWord("QM72", 1, state));

        MessageLog log;
        QVERIFY(!sc.loadYamlFile(dir.filePath("absent.yaml")));
        QCOMPARE(log.lines, QStringList({"D:Error: YAML file does not exist!"}));
    }

    // Only the shapes that cannot be walked refuse the file; a plain value holds no bits.
    void oddlyShapedStateFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("loaded");
        const QByteArray good = "GOOD:\n  error_word:\n    1<<0: kept\n";
        const QByteArray later = "LATER:\n  error_word:\n    1<<2: later\n";
        const auto row = [&](const char* name, const QByteArray& odd, bool loaded) {
            QTest::newRow(name) << good + odd + later << loaded;
        };
        QTest::newRow("syntax error") << QByteArray("QM72:\n  state_word: [1<<0: a\n") << false;
        QTest::newRow("root is a list") << QByteArray("- QM72\n- T71\n") << false;
        QTest::newRow("root is a scalar") << QByteArray("just text\n") << false;
        row("product is a scalar", "QM72: text\n", false);
        row("product is a list", "QM72:\n  - a\n", false);
        row("section is a list", "QM72:\n  error_word:\n    - 1<<0: a\n", false);
        row("text is a map", "QM72:\n  error_word:\n    1<<0: {a: b}\n", false);
        row("key is a list", "QM72:\n  error_word:\n    ? [1, 2]\n    : a\n", false);
        row("section is a word", "QM72:\n  state_word: none\n", true);
        row("section is a number", "QM72:\n  error_word: 5\n  warnning: 3\n", true);
        row("section is an empty list", "QM72:\n  drv_error_word: []\n", true);
    }
    void oddlyShapedStateFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, loaded);
        StateChecker sc;
        MessageLog log;
        QCOMPARE(sc.loadYamlFile(write("odd.yaml", content)), loaded);
        QCOMPARE(log.lines.isEmpty(), loaded);
        for (const auto* table : {&sc.stateWordMap, &sc.errorWordMap, &sc.drvErrorWordMap, &sc.warnningMap})
            QVERIFY(!table->contains("QM72"));
        if (content.startsWith("GOOD")) QCOMPARE(sc.errorWordMap.value("GOOD"), (QMap<quint64, QString>{{1, "kept"}}));
        QCOMPARE(sc.errorWordMap.contains("LATER"), loaded);
        if (loaded) QCOMPARE(sc.errorWordMap.value("LATER"), (QMap<quint64, QString>{{4, "later"}}));
    }

    void motorTablesInKeyOrder()
    {
        StateChecker sc;
        QVERIFY(sc.loadMotorYamlFile(write("motor.yaml",
                                           "ProductBatch:\n  B: 2\n  A: 1\n  B: 3\n"
                                           "MotorType: {QM72: 1}\nVenderType: {自研: 0}\n"
                                           "HardvareVersion: {V1.0: 10, \"\": 5}\n")));
        QCOMPARE(sc.productBatchMap, (QMap<QString, int>{{"A", 1}, {"B", 3}}));
        QCOMPARE(sc.productBatchMap.firstKey(), QStringLiteral("A"));
        QCOMPARE(sc.venderTypeMap.value("自研", -1), 0);
        QCOMPARE(sc.hardvareVersionMap.size(), 2);
    }

    void motorTableMissing()
    {
        StateChecker sc;
        MessageLog log;
        QVERIFY(!sc.loadMotorYamlFile(write("novendor.yaml",
                                            "ProductBatch: {A: 1}\nMotorType: {M: 2}\n"
                                            "HardvareVersion: {V: 3}\n")));
        QCOMPARE(log.lines, QStringList({"W:VenderType is missing or not a map"}));
        QCOMPARE(sc.productBatchMap.size(), 1);
        QCOMPARE(sc.motorTypeMap.size(), 1);
        QVERIFY(sc.venderTypeMap.isEmpty());
        QVERIFY(sc.hardvareVersionMap.isEmpty());

        log.lines.clear();
        StateChecker empty;
        QVERIFY(!empty.loadMotorYamlFile(write("empty.yaml", "")));
        QCOMPARE(log.lines, QStringList({"W:ProductBatch is missing or not a map"}));
        QVERIFY(empty.productBatchMap.isEmpty() && empty.motorTypeMap.isEmpty());

        log.lines.clear();
        StateChecker listed;
        QVERIFY(!listed.loadMotorYamlFile(write("list.yaml", "ProductBatch: {A: 1}\nMotorType:\n  - M\n")));
        QCOMPARE(log.lines, QStringList({"W:MotorType is missing or not a map"}));
    }

    void motorFileErrors_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("word as code") << QByteArray("ProductBatch: {A: 1}\nMotorType:\n  M1: 1\n  M2: two\n");
        QTest::newRow("empty code") << QByteArray("ProductBatch: {A: 1}\nMotorType:\n  M1: 1\n  M2:\n");
        QTest::newRow("list as code") << QByteArray("ProductBatch: {A: 1}\nMotorType:\n  M1: 1\n  M2: [1]\n");
        QTest::newRow("map as name") << QByteArray("ProductBatch: {A: 1}\nMotorType:\n  M1: 1\n  ? {x: 1}\n  : 2\n");
        QTest::newRow("syntax error") << QByteArray("ProductBatch: {A: 1\n");
    }
    void motorFileErrors()
    {
        QFETCH(QByteArray, content);
        StateChecker sc;
        MessageLog log;
        QVERIFY(!sc.loadMotorYamlFile(write("bad.yaml", content)));
        QCOMPARE(log.lines.size(), 1);
        QVERIFY2(log.lines.first().startsWith("W:Failed to load YAML: "), qPrintable(log.lines.first()));
        if (!content.contains("syntax") && content.contains("M1")) {
            QCOMPARE(sc.productBatchMap.size(), 1);
            QCOMPARE(sc.motorTypeMap, (QMap<QString, int>{{"M1", 1}}));
        }
        QVERIFY(sc.venderTypeMap.isEmpty() && sc.hardvareVersionMap.isEmpty());
    }

    void missingMotorFile()
    {
        StateChecker sc;
        MessageLog log;
        QVERIFY(!sc.loadMotorYamlFile(dir.filePath("absent.yaml")));
        QCOMPARE(log.lines.size(), 1);
        QVERIFY(log.lines.first().startsWith("W:Failed to load YAML: "));
    }

    // The window parses its definition files on another thread while the form is built:
    // reading must say nothing there, and the load must report and apply the file as
    // reading it in place always has, failures included.
    void readAheadOnAnotherThread_data()
    {
        QTest::addColumn<int>("loader");           // 0 state words, 1 motor tables, 2 parameters
        QTest::addColumn<QByteArray>("content");   // null: no file
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QString>("firstLine");    // what the load reports first, as a prefix
        QTest::addColumn<QString>("applied");
        const QByteArray broken = "QM72: {a: [1\n";
        const QString parseFailure = "W:Failed to load YAML: ";
        const QString absent = "W:Failed to load YAML: bad file";
        QTest::newRow("state words") << 0 << QByteArray("QM72:\n  error_word:\n    1<<0: a\n    1<<70: b\n") << true
                                     << R"(D:Skipped bit key "1<<70" of product type "QM72")" << "QM72 1 a";
        QTest::newRow("state words, syntax error") << 0 << broken << false << parseFailure << "";
        QTest::newRow("state words, too many tokens")
            << 0 << "QM72:\n  error_word:\n    1<<0: a\n  other:\n" + QByteArray("  -\n").repeated(MaxDefinitionTokens)
            << false
            << QString("W:Failed to load YAML: the file has more than %1 YAML tokens").arg(MaxDefinitionTokens) << "";
        QTest::newRow("state words, absent")
            << 0 << QByteArray() << false << "D:Error: YAML file does not exist!" << "";
        QTest::newRow("motor tables")
            << 1 << QByteArray("ProductBatch: {A: 1}\nMotorType: {M: 2}\nVenderType: {V: 3}\nHardvareVersion: {H: 4}\n")
            << true << "" << "A 1";
        QTest::newRow("motor tables, syntax error") << 1 << broken << false << parseFailure << "";
        QTest::newRow("motor tables, absent") << 1 << QByteArray() << false << absent << "";
        QTest::newRow("parameters") << 2 << QByteArray("parameters:\n  - {name: a, value: .nan, max_value: 7}\n")
                                    << true << "D:Error converting value for a: not a finite number" << "a 0 7";
        QTest::newRow("parameters, syntax error") << 2 << broken << false << parseFailure << "";
        QTest::newRow("parameters, absent") << 2 << QByteArray() << false << absent << "";
    }
    void readAheadOnAnotherThread()
    {
        QFETCH(int, loader);
        QFETCH(QByteArray, content);
        QFETCH(bool, loaded);
        QFETCH(QString, firstLine);
        QFETCH(QString, applied);
        const QString path = content.isNull() ? dir.filePath("absent.yaml") : write("ahead.yaml", content);

        MessageLog log;
        std::future<DefinitionFile> ahead = std::async(std::launch::async, [path] { return DefinitionFile::read(path); });
        const DefinitionFile file = ahead.get();
        QCOMPARE(MessageLog::lines, QStringList());

        StateChecker sc;
        MotorParameterLoader parameters;
        const bool ok = loader == 0   ? sc.loadYamlFile(file)
                        : loader == 1 ? sc.loadMotorYamlFile(file)
                                      : parameters.loadFromFile(file);
        QCOMPARE(ok, loaded);
        QCOMPARE(MessageLog::lines.isEmpty(), firstLine.isEmpty());
        if (!firstLine.isEmpty())
            QVERIFY2(MessageLog::lines.first().startsWith(firstLine), qPrintable(MessageLog::lines.first()));

        QStringList got;
        for (auto it = sc.errorWordMap.cbegin(); it != sc.errorWordMap.cend(); ++it)
            for (auto bit = it->cbegin(); bit != it->cend(); ++bit) got << it.key() << QString::number(bit.key()) << *bit;
        for (auto it = sc.productBatchMap.cbegin(); it != sc.productBatchMap.cend(); ++it)
            got << it.key() << QString::number(*it);
        for (const auto& [name, p] : parameters.parameters)
            got << QString::fromStdString(name) << QString::number(p.value) << QString::number(p.max_value);
        QCOMPARE(got.join(' '), applied);
    }

    void sampleFilesLoad()
    {
        StateChecker sc;
        QVERIFY(sc.loadYamlFile(QUINTREL_CONFIG_DIR "/state_config.yaml"));
        QVERIFY(sc.loadMotorYamlFile(QUINTREL_CONFIG_DIR "/motor_config.yaml"));
        for (const QString model : {"QM72", "T71"}) {
            QVERIFY(sc.stateWordMap.contains(model));
            QVERIFY(sc.errorWordMap.contains(model));
            QVERIFY(sc.drvErrorWordMap.contains(model));
            QVERIFY(sc.warnningMap.contains(model));
        }
        QVERIFY(!sc.productBatchMap.isEmpty() && !sc.motorTypeMap.isEmpty());
        QVERIFY(!sc.venderTypeMap.isEmpty() && !sc.hardvareVersionMap.isEmpty());
    }
};

QTEST_MAIN(StateVocabularyTest)
#include "tst_statevocabulary.moc"
