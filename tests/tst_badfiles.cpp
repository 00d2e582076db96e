// Every kind of file the tool reads, damaged in the ways files get damaged or crafted:
// each read ends with the tool's message or an empty result, quickly, never a crash.
#include "support/firmwareimages.h"
#include "support/windowharness.h"

#include "files/boundedfile.h"
#include "files/yamltokens.h"
#include "formats/configfiles.h"
#include "formats/firmwareimage.h"
#include "vocabulary/loadyaml.h"

#include <QElapsedTimer>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QRegularExpression>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

// The sanitizers slow parsing several times over.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 kBoundMs = 20000;
#else
constexpr qint64 kBoundMs = 5000;
#endif

QByteArray original(const char* name)
{
    QFile f(QStringLiteral(QUINTREL_CONFIG_DIR "/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Several megabytes of well-formed YAML the tool does not expect.
QByteArray hugeYaml()
{
    QByteArray out;
    out.reserve(2 << 20);
    for (int i = 0; out.size() < (2 << 20); ++i)
        out += "key_" + QByteArray::number(i) + ": value " + QByteArray(40, 'x') + "\n";
    return out;
}

// Every value swapped for a sequence holding a map.
QByteArray wrongTypes(const QByteArray& good)
{
    QString text = QString::fromUtf8(good);
    text.replace(QRegularExpression(QStringLiteral("^(\\s*[^:#\\n-][^:#\\n]*:)[ \\t]+[^\\n#]+$"),
                                    QRegularExpression::MultilineOption),
                 QStringLiteral("\\1 [1, {a: b}]"));
    return text.toUtf8();
}

QByteArray notUtf8(const QByteArray& good)
{
    QByteArray out = good;
    for (int i = out.size() / 7; i < out.size(); i += out.size() / 7 + 1) out.insert(i, "\xff\xfe\xc3\x28\xe2\x82");
    return "\xc0\xaf" + out;
}

QByteArray aliasBomb()
{
    QByteArray y = "a: &a [\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\",\"lol\"]\n";
    const char* names = "abcdefghij";
    for (int i = 1; i < 10; ++i) {
        const char p = names[i - 1], n = names[i];
        y += QByteArray(1, n) + ": &" + n + " [";
        for (int k = 0; k < 9; ++k) y += QByteArray(k ? ",*" : "*") + p;
        y += "]\n";
    }
    return y;
}

QList<std::pair<QByteArray, QByteArray>> damagedYaml(const QByteArray& good)
{
    return {
        {"truncated", good.left(good.size() / 2)},
        {"truncated mid-line", good.left(good.size() / 3 + 1)},
        {"empty", QByteArray()},
        {"huge", hugeYaml()},
        {"wrong types", wrongTypes(good)},
        {"not UTF-8", notUtf8(good)},
        {"alias bomb", aliasBomb()},
        {"binary", QByteArray::fromHex("00010203ff00") + QByteArray("{[}]&*!|>%@`").repeated(100)},
    };
}

QString writeFile(const QString& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir + "/" + name;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return QString();
    f.write(bytes);
    return path;
}

}   // namespace

class BadFiles : public QObject {
    Q_OBJECT

private slots:
    void init() { SimReset(); }
    void cleanup() { configfile::openDialogHook = nullptr; }

    void definitionFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        for (const char* file : {"state_config.yaml", "motor_config.yaml", "motor_parameter_config.yaml"})
            for (const auto& [name, bytes] : damagedYaml(original(file)))
                QTest::addRow("%s, %s", file, name.constData()) << QString(file) << bytes;
    }

    void definitionFiles()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        WorkDir dir(true);
        writeFile(dir.path(), file, bytes);
        BoxCatcher boxes;
        QElapsedTimer clock;
        clock.start();
        {
            MainWindow w;
            const QStringList log = MainWindowProbe::logLines(w);
            if (file != QLatin1String("motor_parameter_config.yaml")) {
                const QString ok = QStringLiteral(">>> File \"%1\" Load OK").arg(file);
                const QString fail = QStringLiteral(">>> File \"%1\" Load FAIL!").arg(file);
                QVERIFY2(log.contains(ok) || log.contains(fail), qPrintable(log.join('\n')));
            }
            // The window still works: a parameter read goes out and is answered.
            openPort(w);
            takeSent();
            QVERIFY(MainWindowProbe::read(w, MotorConfig::MotorPolePairs, true));
            QCOMPARE(sentBytes().size(), 1);
        }
        QVERIFY2(clock.elapsed() < kBoundMs, qPrintable(QString::number(clock.elapsed())));
    }

    // The token bound counted by hand: every flow indicator, colon and quote, the byte right
    // after one, and each word; a lone carriage return is part of a word.
    void yamlTokenStartsByHand_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("starts");
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("blanks and breaks only") << QByteArray(" \t\n\r\n ") << 0;
        QTest::newRow("one word") << QByteArray("word") << 1;
        QTest::newRow("flow sequence") << QByteArray("[~,~]") << 5;
        QTest::newRow("longer flow sequence") << QByteArray("[~,~,~,~]") << 9;
        QTest::newRow("flow mapping") << QByteArray("{a: b}") << 5;
        QTest::newRow("quoted key, no blank") << QByteArray("\"x\":y") << 5;
        QTest::newRow("block sequence entry") << QByteArray("- a") << 2;
        QTest::newRow("key and value") << QByteArray("key: value") << 3;
        QTest::newRow("comment of words") << QByteArray("# a comment of words") << 5;
        QTest::newRow("lines") << QByteArray("a: 1\nb: 2\n") << 6;
        QTest::newRow("carriage return before a line feed") << QByteArray("a\r\nb") << 2;
        QTest::newRow("lone carriage return") << QByteArray("a\rb") << 1;
        QTest::newRow("nested flow") << QByteArray("[[a],{b: c}]") << 11;
    }

    void yamlTokenStartsByHand()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, starts);
        QCOMPARE(int(files::yamlTokenStarts(text.constData(), std::size_t(text.size()))), starts);
    }

    void definitionFilesBeyondAnyRealOne_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("loads");
        // The real file padded with a comment to its size limit, or a byte past it.
        const auto sized = [](const char* file, qint64 extra) {
            QByteArray out = original(file) + "#";
            return out + QByteArray(MaxDefinitionFileSize + extra - out.size(), 'x');
        };
        // The real file with a list that no loader reads, to its token limit or one past:
        // each entry is one token.
        const auto listed = [](const char* file, const QByteArray& head, std::size_t extra) {
            const QByteArray base = original(file) + head;
            const std::size_t used = files::yamlTokenStarts(base.constData(), std::size_t(base.size()));
            return base + QByteArray(" -\n").repeated(qsizetype(MaxDefinitionTokens + extra - used));
        };
        for (const char* file : {"state_config.yaml", "motor_config.yaml", "motor_parameter_config.yaml"}) {
            QTest::addRow("%s, at the size limit", file) << file << sized(file, 0) << true;
            QTest::addRow("%s, past the size limit", file) << file << sized(file, 1) << false;
            // A product type's unknown section, or an unknown key at the root.
            const bool state = file == QLatin1String("state_config.yaml");
            const QByteArray head = state ? "X:\n other:\n" : "other:\n";
            QTest::addRow("%s, at the token limit", file) << file << listed(file, head, 0) << true;
            QTest::addRow("%s, past the token limit", file) << file << listed(file, head, 1) << false;
        }
        // A small file naming one map many times.
        QByteArray state = original("state_config.yaml") + "A: &a\n  error_word: {";
        for (int n = 0; n < 64; ++n) state += (n ? ", 1<<" : "1<<") + QByteArray::number(n) + ": t";
        state += "}\n";
        for (int i = 0; i <= MaxDefinitionEntries / 64; ++i) state += "T" + QByteArray::number(i) + ": *a\n";
        QTest::newRow("state, aliases") << "state_config.yaml" << state << false;
        QByteArray element = "x: &a {name: p, value: 1";
        for (int i = 0; i < 999; ++i) element += ", k" + QByteArray::number(i) + ": 1";
        const QByteArray parameters = element + "}\n" + original("motor_parameter_config.yaml") +
                                      QByteArray("  - *a\n").repeated(MaxDefinitionEntries / 1000);
        QTest::newRow("parameters, aliases") << "motor_parameter_config.yaml" << parameters << false;
    }

    void definitionFilesBeyondAnyRealOne()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, loads);
        WorkDir dir(true);
        writeFile(dir.path(), file, bytes);
        MainWindow w;
        const QStringList log = MainWindowProbe::logLines(w);
        for (const char* name : {"state_config.yaml", "motor_config.yaml", "motor_parameter_config.yaml"}) {
            const bool ok = name != file || loads;
            const QString line = QStringLiteral(">>> File \"%1\" Load %2").arg(name, ok ? "OK" : "FAIL!");
            QVERIFY2(log.contains(line), qPrintable(log.join('\n')));
        }
    }

    void configurationFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good =
            QString("校准:\n  校准电压: 1.5\n  电机静摩擦: 0.25\n电机:\n  转动惯量: 1.234567\n").toUtf8();
        for (const auto& [name, bytes] : damagedYaml(good)) QTest::newRow(name.constData()) << bytes;
        QTest::newRow("wrong top level") << QByteArray("- 1\n- 2\n");
        QTest::newRow("numbers as maps") << QString("校准:\n  校准电压: {a: 1}\n电机: 7\n").toUtf8();
        QTest::newRow("nan and inf") << QString("校准:\n  校准电压: .nan\n  电机静摩擦: -.inf\n").toUtf8();
    }

    void configurationFiles()
    {
        QFETCH(QByteArray, bytes);
        WorkDir dir(true);
        const QString path = writeFile(dir.path(), "bad.yaml", bytes);
        configfile::openDialogHook = [path](QWidget*, const QString&, const QString&) { return path; };
        MainWindow w;
        BoxCatcher boxes;
        QDoubleSpinBox* voltage = w.findChild<QDoubleSpinBox*>("doubleSpinBox_CalibVoltage");
        QElapsedTimer clock;
        clock.start();
        w.findChild<QPushButton*>("pushButton_loadConfigFile")->click();
        QVERIFY2(clock.elapsed() < kBoundMs, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(boxes.boxes.size() <= 1);
        // Whatever was taken stays a number inside the box's range.
        QVERIFY(qIsFinite(voltage->value()));
        QVERIFY(voltage->value() >= voltage->minimum() && voltage->value() <= voltage->maximum());
    }

    void firmwareImages_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("magic only") << QByteArray("RBL\0", 4);
        QTest::newRow("75 bytes") << (QByteArray("RBL\0", 4) + QByteArray(71, '\x01'));
        QTest::newRow("huge, no magic") << QByteArray(18 << 20, '\x5a');
        QTest::newRow("text") << QByteArray("version: 9.9.9\n").repeated(10);
    }

    void firmwareImages()
    {
        QFETCH(QByteArray, bytes);
        WorkDir dir(false);
        const QString path = writeFile(dir.path(), "fw.rbl", bytes);
        MainWindow w;
        openPort(w);
        takeSent();
        BoxCatcher boxes;
        MainWindowProbe::answerOpenDialog(w, [path] { return path; });
        QElapsedTimer clock;
        clock.start();
        MainWindowProbe::ui(w)->pushButton_updateFW->click();
        QVERIFY2(clock.elapsed() < kBoundMs, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(boxes.texts(), QStringList{"File Error"});
        QCOMPARE(sentBytes().size(), 2);   // the two queries, no transfer
        QVERIFY(!MainWindowProbe::fwUpdateBusy(w));
        QVERIFY(MainWindowProbe::ui(w)->pushButton_updateFW->isEnabled());
    }

    // Only regular files are read, and none past its limit: a device or a FIFO is refused
    // as a file that cannot be opened, without blocking.
    void onlyRegularFilesWithinTheirLimits_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("expected");
        // "@" stands for the "Cannot open file: " box naming the file.
        for (const char* file : {"zero", "fifo"}) {
            QTest::addRow("configuration, %s", file) << "config.yaml" << file << QStringList{"YAML 文件无法打开！"};
            QTest::addRow("firmware, %s", file) << "fw.rbl" << file << QStringList();
            QTest::addRow("text point list, %s", file) << "p.txt" << file << QStringList{"@", "数据不足"};
            QTest::addRow("workbook, %s", file) << "p.xlsx" << file << QStringList{"数据不足"};
            QTest::addRow("definitions, %s", file) << "state_config.yaml" << file << QStringList();
        }
        QTest::newRow("firmware at its limit") << "fw.rbl"
                                               << "at" << QStringList{"版本号一致，无需更新"};
        QTest::newRow("firmware past its limit") << "fw.rbl"
                                                 << "past" << QStringList{"File Error"};
    }

    void onlyRegularFilesWithinTheirLimits()
    {
        QFETCH(QString, input);
        QFETCH(QString, file);
        WorkDir dir(true);
        const QString path = dir.path() + "/" + input;
        QFile::remove(path);
        if (file == "zero") {
            QVERIFY(QFile::link("/dev/zero", path));
        } else if (file == "fifo") {
#ifdef Q_OS_UNIX
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
#else
            QSKIP("no FIFOs on this platform");
#endif
        } else {
            // The drive's own version: an image that is read stops at the version check.
            writeFile(dir.path(), input, firmwareimages::make(FirmwareImageMaxSize + (file == "past"), "1.6.0"));
        }
        if (input == "state_config.yaml") {
            MainWindow w;
            QVERIFY(MainWindowProbe::logLines(w).contains(">>> File \"state_config.yaml\" Load FAIL!"));
            return;
        }
        configfile::openDialogHook = [path](QWidget*, const QString&, const QString&) { return path; };
        MainWindow w;
        Ui_MainWindow* ui = MainWindowProbe::ui(w);
        openPort(w);
        // The firmware update compares the image with the drive's version, once it is known.
        const bool firmware = input == "fw.rbl";
        MainWindowProbe::answerOpenDialog(w, [ui, path, firmware] {
            for (int i = 0; firmware && i < 300 && ui->label_FW->text().isEmpty(); ++i) QTest::qWait(10);
            return path;
        });
        BoxCatcher boxes(QMessageBox::No);
        if (input == "config.yaml")
            ui->pushButton_loadConfigFile->click();
        else
            (firmware ? ui->pushButton_updateFW : ui->pushButton_writeTorqueCalib)->click();
        QStringList seen = boxes.texts();
        seen.replaceInStrings("Cannot open file: " + path, "@");
        QTEST(seen, "expected");
    }

    // Kernel files report a size of 0: the read still stops one byte past the limit.
    void readStopsAtTheLimitWhateverTheReportedSize()
    {
        QByteArray bytes;
        if (!QFile::exists("/proc/self/status")) QSKIP("no kernel files on this platform");
        QVERIFY(files::readRegularFile("/proc/self/status", 16, &bytes) == files::ReadStatus::TooLarge);
        QVERIFY(files::readRegularFile("/proc/self/status", 1 << 20, &bytes) == files::ReadStatus::Ok);
    }

    void pointLists_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        const QString wb = QStringLiteral(QUINTREL_TEST_DATA "/workbooks/");
        for (const char* f : {"bomb.xlsx", "bomb-hidden.xlsx", "doctype.xlsx", "notazip.xlsx", "noworkbook.xlsx"}) {
            QFile file(wb + f);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QTest::addRow("workbook %s", f) << QString(f) << file.readAll();
        }
        QFile points(wb + "points.xlsx");
        QVERIFY(points.open(QIODevice::ReadOnly));
        const QByteArray good = points.readAll();
        QTest::newRow("workbook truncated") << "cut.xlsx" << good.left(good.size() / 2);
        QTest::newRow("workbook empty") << "empty.xlsx" << QByteArray();
        QTest::newRow("workbook bytes flipped") << "flip.xlsx" << [good] {
            QByteArray b = good;
            for (int i = 40; i < b.size(); i += 37) b[i] = char(b[i] ^ 0x5A);
            return b;
        }();
        QTest::newRow("text empty") << "p.txt" << QByteArray();
        QTest::newRow("text not UTF-8") << "p.txt" << QByteArray("\xff\xfe 1.0\xc3\x28 2.0\n\x80\x81 3 4\n");
        QTest::newRow("text words") << "p.txt" << QByteArray("current torque\nabc def\n1,2,3\n;;;\n");
        QTest::newRow("text nan and inf") << "p.txt" << QByteArray("nan nan\ninf inf\n-inf 1e400\n1e308 1e308\n");
        QByteArray huge;
        for (int i = 0; huge.size() < (3 << 20); ++i)
            huge += QByteArray::number(i * 0.001) + " " + QByteArray::number(i * 0.002) + "\n";
        QTest::newRow("text huge") << "p.txt" << huge;
        QTest::newRow("text one line, no newline") << "p.txt" << QByteArray(3 << 20, '7');
    }

    void pointLists()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        WorkDir dir(false);
        const QString path = writeFile(dir.path(), name, bytes);
        MainWindow w;
        openPort(w);
        takeSent();
        MainWindowProbe::answerOpenDialog(w, [path] { return path; });
        BoxCatcher boxes(QMessageBox::No);   // declines the write if a list was read
        QElapsedTimer clock;
        clock.start();
        MainWindowProbe::ui(w)->pushButton_writeTorqueCalib->click();
        QVERIFY2(clock.elapsed() < kBoundMs, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(boxes.boxes.size(), 1);
        QVERIFY(sentBytes().isEmpty());
        // Whatever was read is a finite list the drive's table can hold.
        const auto list = MainWindowProbe::readPointList(w, path);
        for (const auto& [x, y] : list) QVERIFY(qIsFinite(x) && qIsFinite(y));
    }
};

QTEST_MAIN(BadFiles)
#include "tst_badfiles.moc"
