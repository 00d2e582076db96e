#include "support/windowharness.h"

#include "formats/configfiles.h"
#include "support/filesizelimit.h"
#include "support/otheruser.h"

#include <QDoubleSpinBox>
#include <QFileDialog>

#include <clocale>
#include <cmath>
#include <csignal>
#include <locale>
#include <utility>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using Applied = QList<QPair<QString, double>>;

Applied load(const std::string& text, configfile::LoadResult* result = nullptr)
{
    Applied out;
    const auto r = configfile::applyText(text, [&](const char* box, double v) { out << qMakePair(QString(box), v); });
    if (result) *result = r;
    return out;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& text)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return QString();
    f.write(text);
    return path;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QMap<QString, double> allBoxes(MainWindow& w)
{
    QMap<QString, double> out;
    for (const configfile::Entry& e : configfile::entries())
        out[e.spinBox] = w.findChild<QDoubleSpinBox*>(e.spinBox)->value();
    return out;
}

QDoubleSpinBox* box(MainWindow& w, const char* name) { return w.findChild<QDoubleSpinBox*>(name); }

// A decimal comma for the C++ streams, without needing an installed locale.
struct CommaPoint : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

// Puts the dialog hooks and locales back whatever a test does.
struct Restore {
    ~Restore()
    {
        configfile::saveDialogHook = nullptr;
        configfile::openDialogHook = nullptr;
        std::locale::global(std::locale::classic());
        std::setlocale(LC_NUMERIC, "C");
        QLocale::setDefault(QLocale::c());
    }
};

void chooseFile(const QString& path)
{
    configfile::saveDialogHook = [path](QWidget*, const QString&, const QString&) { return path; };
    configfile::openDialogHook = configfile::saveDialogHook;
}

}   // namespace

class ConfigFiles : public QObject {
    Q_OBJECT

    // Saves the form to target through the window, as the user the test runs as: in a
    // sticky folder the save fails and keeps previous, elsewhere it is saved.
    void saveAs(const QString& target, const QByteArray& previous, bool sticky)
    {
        Restore restore;
        WorkDir dir(false);
        MainWindow w;
        BoxCatcher boxes;
        chooseFile(target);
        w.findChild<QPushButton*>("pushButton_saveConfigFile")->click();
        QCOMPARE(boxes.boxes.size(), 1);
        if (sticky) {
            QCOMPARE(boxes.boxes[0].title, QString("保存错误"));
            QCOMPARE(boxes.boxes[0].text, "无法保存文件: " + target);
            QCOMPARE(fileBytes(target), previous);
        } else {
            QCOMPARE(boxes.boxes[0].title, QString("保存成功"));
            QVERIFY(fileBytes(target).startsWith("电机:\n  转矩常数: "));
            QVERIFY(fileBytes(target) != previous);
        }
        QCOMPARE(QFileInfo(target).dir().entryList(QDir::Files | QDir::Hidden), QStringList{"drive.yaml"});
    }

private slots:
    void initTestCase() { otheruser::dropIfRerun(); }
    void init() { SimReset(); }
    void cleanup() { Restore(); }

    void savedDocumentLayout()
    {
        QMap<QString, double> v{{"doubleSpinBox_TorqueCostant", 0.1},    {"doubleSpinBox_CurrentLimit", 33.33},
                                {"doubleSpinBox_Current_cutoff", 0.5},   {"doubleSpinBox_Torque_scale", 0.35},
                                {"doubleSpinBox_Current_scale", -1.25},  {"doubleSpinBox_J_motor", 1e-7},
                                {"doubleSpinBox_B_motor", 123456789},    {"doubleSpinBox_Fric_motor", 0},
                                {"doubleSpinBox_ProtectOverCurrent", 80}};
        QStringList asked;
        const std::string text = configfile::saveText([&](const char* name) {
            asked << name;
            return v.value(name, 999);
        });
        QCOMPARE(asked.size(), 9);
        QCOMPARE(QString::fromStdString(text), QString("电机:\n"
                                                       "  转矩常数: 0.1\n"
                                                       "  力矩电流限制: 33.33\n"
                                                       "  突破电流: 0.5\n"
                                                       "  力矩比例: 0.35\n"
                                                       "  电流比例: -1.25\n"
                                                       "  电机转动惯量: 0.0000001\n"
                                                       "  电机粘性摩擦: 123456789\n"
                                                       "  电机静摩擦: 0\n"
                                                       "安全保护:\n"
                                                       "  相电流保护阈值: 80"));
    }

    // The shortest text that reads back as the same double: a box's 33.33 is not written
    // 33.329999999999998.
    void savedNumbersReadBackUnchanged_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("two decimals") << 33.33 << "33.33";
        QTest::newRow("one tenth") << 0.1 << "0.1";
        QTest::newRow("a sum off by one ulp") << 0.1 + 0.2 << "0.30000000000000004";
        QTest::newRow("a third") << 1.0 / 3 << "0.3333333333333333";
        QTest::newRow("integer") << 65535.0 << "65535";
        QTest::newRow("negative") << -1.25 << "-1.25";
        QTest::newRow("four decimals") << 0.0001 << "0.0001";
        QTest::newRow("a hundred thousand") << 1e5 << "100000";
        QTest::newRow("small") << 1e-7 << "0.0000001";
        QTest::newRow("too long without an exponent") << 1.5e-30 << "1.5e-30";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "-0";
        QTest::newRow("smallest") << 5e-324 << "5e-324";
        QTest::newRow("largest") << 1.7976931348623157e308 << "1.7976931348623157e+308";
    }
    void savedNumbersReadBackUnchanged()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        const std::string saved = configfile::saveText([&](const char*) { return value; });
        QCOMPARE(QString::fromStdString(saved).section('\n', 1, 1), "  转矩常数: " + text);
        Applied back = load(saved);
        QCOMPARE(back.size(), 9);
        for (const auto& [box, v] : back) {
            QVERIFY2(v == value && std::signbit(v) == std::signbit(value), qPrintable(box));
        }
    }

    // Sections in file order, keys in table order within each; the first error stops the
    // load and leaves what was applied before it.
    void loadAppliesUntilTheFirstError_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<Applied>("applied");
        QTest::addColumn<bool>("parseError");
        const auto ok = [](const char* name, const char* text, const Applied& applied) {
            QTest::newRow(name) << QByteArray(text) << applied << false;
        };
        const auto error = [](const char* name, const char* text, const Applied& applied = {}) {
            QTest::newRow(name) << QByteArray(text) << applied << true;
        };
        ok("table order; a key of another section ignored", "校准:\n  电机静摩擦: 4\n  校准电压: 3.5\n  其他: 1\n",
           {{"doubleSpinBox_CalibVoltage", 3.5}});
        ok("table order, not file order", "控制器:\n  减速比: 6\n  位置环增益: 20\n",
           {{"doubleSpinBox_PosGain", 20}, {"doubleSpinBox_ReductionRatio", 6}});
        ok("a repeated section applied again; unknown, null and list sections set nothing",
           "电机:\n  转动惯量: 1\n其他:\n  转动惯量: 5\n校准:\nCAN总线: [1, 2]\n电机:\n  转动惯量: 2\n",
           {{"doubleSpinBox_Inertia", 1}, {"doubleSpinBox_Inertia", 2}});
        // A null name reads as "null", no section's name.
        ok("null section names skipped", "~:\n  转动惯量: 5\nnull:\n  转动惯量: 6\nNULL: 7\n电机:\n  转动惯量: 2\n",
           {{"doubleSpinBox_Inertia", 2}});
        ok("exponent form", "CAN总线:\n  节点ID: 1e1\n", {{"doubleSpinBox_NodeID", 10}});
        ok("one key in two sections", "校准:\n  电机静摩擦: 4\n电机:\n  电机静摩擦: 1\n",
           {{"doubleSpinBox_Fric_motor", 1}});
        ok("a key twice in an unknown section", "其他:\n  a: 1\n  a: 2\n电机:\n  转动惯量: 1\n",
           {{"doubleSpinBox_Inertia", 1}});
        ok("one document between markers", "---\n电机:\n  转动惯量: 1\n...\n# end\n", {{"doubleSpinBox_Inertia", 1}});
        ok("empty", "", {});
        ok("only a comment", "# only a comment\n", {});
        ok("null root", "~\n", {});
        ok("plain root", "just text\n", {});
        ok("only unknown sections", "其他:\n  a: 1\n", {});

        error("a text value", "电机:\n  转动惯量: 1\n控制器:\n  位置环增益: 20\n  减速比: abc\n  位置到达窗口: 1\n安全保护:\n  欠压保护阈值: 9\n",
              {{"doubleSpinBox_Inertia", 1}, {"doubleSpinBox_PosGain", 20}});
        error("not YAML", "电机: [1\n");
        error("a list at the root", "- 电机\n- 校准\n");
        error("a section that is a plain value", "电机: 5\n");
        error("a section name that is a list", "? [a, b]\n: 1\n");
        error("a section name that is a map", "~: 1\n? {a: 1}\n: 1\n");
        error("an empty value", "电机:\n  转动惯量:\n");
        error("a list value", "电机:\n  转动惯量: [1]\n");
        error("a map value", "电机:\n  转动惯量: {a: 1}\n");
        error("a decimal comma", "电机:\n  转动惯量: 1,5\n");
        // Infinity and not-a-number would reach the drive.
        error("infinity", "电机:\n  转动惯量: .inf\n");
        error("negative infinity", "电机:\n  转动惯量: -.Inf\n");
        error("not a number", "电机:\n  转动惯量: .NaN\n");
        error("out of the double's range", "电机:\n  转动惯量: 1e400\n");

        // YAML allows a key once in a map; the first copy would win unseen.
        error("a key twice", "电机:\n  转动惯量: 0.0011\n  转动惯量: 0.0022\n");
        error("a key twice after an applied section",
              "校准:\n  校准电压: 3\n电机:\n  转矩常数: 1\n  转动惯量: 1\n  转动惯量: 2\n",
              {{"doubleSpinBox_CalibVoltage", 3}});
        error("a key twice, once quoted", "电机:\n  \"转动惯量\": 1\n  转动惯量: 2\n");
        error("a key twice in a flow map", "电机: {转动惯量: 1, 转动惯量: 2}\n");
        error("an unknown key twice in a known section", "电机:\n  其他: 1\n  其他: 2\n  转动惯量: 1\n");
        error("a null key twice", "电机:\n  ~: 1\n  null: 2\n  转动惯量: 1\n");
        error("a key twice through an alias", "x: &a {转动惯量: 1, 转动惯量: 2}\n校准:\n  校准电压: 3\n电机: *a\n",
              {{"doubleSpinBox_CalibVoltage", 3}});

        // Only the first document used to be read, whatever followed it.
        error("two documents", "电机:\n  转动惯量: 1\n---\n电机:\n  转动惯量: 2\n");
        error("a second document that is no YAML", "电机:\n  转动惯量: 1\n---\n电机: [1\n");
        error("an empty second document", "电机:\n  转动惯量: 1\n---\n");
        error("a second document after an end marker", "电机:\n  转动惯量: 1\n...\n--- ~\n");
        // The library would hand back empty documents here without end.
        error("a stray indicator after the document", "{电机: {转动惯量: 1}}, x\n");
    }
    void loadAppliesUntilTheFirstError()
    {
        QFETCH(QByteArray, text);
        QFETCH(Applied, applied);
        QFETCH(bool, parseError);
        configfile::LoadResult r;
        QCOMPARE(load(text.toStdString(), &r), applied);
        QCOMPARE(r, parseError ? configfile::LoadResult::ParseError : configfile::LoadResult::Applied);
    }

    void filesBeyondAnyRealOneAreRefused()
    {
        // One section reached again and again through an alias: every key counts each time.
        std::string keys = "转动惯量: 1";
        for (int i = 1; i < 100; ++i) keys += ", k" + std::to_string(i) + ": 1";
        std::string text = "x: &a {" + keys + "}\n";
        for (int i = 0; i <= configfile::MaxSectionEntries / 100; ++i) text += "电机: *a\n";
        configfile::LoadResult r;
        QCOMPARE(load(text, &r).size(), configfile::MaxSectionEntries / 100);
        QCOMPARE(r, configfile::LoadResult::ParseError);

        // Tokens are counted before anything is parsed: a block list's entry is one, and
        // the head seven (the name, a colon, the key, a colon, the value, the name, a colon).
        const std::string head = "电机:\n  转动惯量: 1\nx:\n";
        std::string list;
        for (std::size_t i = 7; i < configfile::MaxTokens; ++i) list += "-\n";
        QCOMPARE(load(head + list, &r), (Applied{{"doubleSpinBox_Inertia", 1}}));
        QCOMPARE(r, configfile::LoadResult::Applied);
        QVERIFY(load(head + list + "-\n", &r).isEmpty());
        QCOMPARE(r, configfile::LoadResult::ParseError);

        // A file past the size limit is not read: the parse error box, nothing set.
        Restore restore;
        WorkDir dir(true);
        QTemporaryDir files;
        MainWindow w;
        BoxCatcher boxes;
        QDoubleSpinBox* inertia = box(w, "doubleSpinBox_Inertia");
        const double before = inertia->value();
        const double target = before == inertia->maximum() ? inertia->minimum() : inertia->maximum();
        QByteArray big = QString("电机:\n  转动惯量: %1\n# ").arg(target, 0, 'g', 17).toUtf8();
        big += QByteArray(configfile::MaxFileSize - big.size(), 'x');
        chooseFile(writeFile(files, "big.yaml", big));
        w.findChild<QPushButton*>("pushButton_loadConfigFile")->click();
        QVERIFY(boxes.boxes.isEmpty());
        QCOMPARE(inertia->value(), target);
        inertia->setValue(before);
        chooseFile(writeFile(files, "bigger.yaml", big + "\n"));
        w.findChild<QPushButton*>("pushButton_loadConfigFile")->click();
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].title, QString("解析错误"));
        QCOMPARE(inertia->value(), before);
    }

    void saveThenLoadRestoresTheNineBoxes()
    {
        Restore restore;
        WorkDir dir(true);
        QTemporaryDir files;
        const QString path = files.filePath("drive.yaml");
        MainWindow w;
        BoxCatcher boxes;

        QMap<QString, double> saved;
        int n = 1;
        for (const configfile::Entry& e : configfile::entries()) {
            if (!e.saveOrder) continue;
            QDoubleSpinBox* b = box(w, e.spinBox);
            b->setValue(b->minimum() + (b->maximum() - b->minimum()) * n++ / 20.0);
            saved[e.spinBox] = b->value();
        }
        chooseFile(path);
        w.findChild<QPushButton*>("pushButton_saveConfigFile")->click();
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].title, QString("保存成功"));
        QCOMPARE(boxes.boxes[0].text, QString("YAML 文件已成功保存！"));

        // Move every box away from what was saved.
        for (const configfile::Entry& e : configfile::entries()) {
            QDoubleSpinBox* b = box(w, e.spinBox);
            if (b->value() != b->maximum())
                b->setValue(b->maximum());
            else
                b->setValue(b->minimum());
        }
        const QMap<QString, double> before = allBoxes(w);
        MainWindowProbe::ui(w)->pushButton_clear->click();
        takeSent();
        w.findChild<QPushButton*>("pushButton_loadConfigFile")->click();
        QCOMPARE(boxes.boxes.size(), 1);
        const QMap<QString, double> after = allBoxes(w);
        for (auto it = after.cbegin(); it != after.cend(); ++it)
            QCOMPARE(it.value(), saved.contains(it.key()) ? saved[it.key()] : before[it.key()]);
        // The form only: nothing sent, nothing logged.
        QVERIFY(takeSent().empty());
        QVERIFY(MainWindowProbe::logLines(w).isEmpty());
    }

    void loadIntoTheForm()
    {
        Restore restore;
        WorkDir dir(true);
        QTemporaryDir files;
        MainWindow w;
        BoxCatcher boxes;
        QPushButton* loadButton = w.findChild<QPushButton*>("pushButton_loadConfigFile");

        QDoubleSpinBox* voltage = box(w, "doubleSpinBox_CalibVoltage");
        QDoubleSpinBox* calibCurrent = box(w, "doubleSpinBox_CalibCurrent");
        QDoubleSpinBox* friction = box(w, "doubleSpinBox_Fric_motor");
        QDoubleSpinBox* inertia = box(w, "doubleSpinBox_Inertia");
        const double calibCurrentBefore = calibCurrent->value();
        const double frictionBefore = friction->value();
        const double inertiaBefore = inertia->value();
        const double high = voltage->maximum() + 100;
        chooseFile(writeFile(
            files, "a.yaml",
            QString("校准:\n  校准电压: %1\n  电机静摩擦: 0.25\n电机:\n  转动惯量: 1.234567\n").arg(high).toUtf8()));
        loadButton->click();
        QVERIFY(boxes.boxes.isEmpty());
        QCOMPARE(voltage->value(), voltage->maximum());
        QCOMPARE(calibCurrent->value(), calibCurrentBefore);
        QCOMPARE(friction->value(), frictionBefore);
        // Rounded to the box's decimals.
        QCOMPARE(inertia->value(), QString::number(1.234567, 'f', inertia->decimals()).toDouble());
        QVERIFY(inertia->value() != inertiaBefore);

        // A text value: the keys before it stay set, nothing after it is applied.
        QDoubleSpinBox* posGain = box(w, "doubleSpinBox_PosGain");
        QDoubleSpinBox* window = box(w, "doubleSpinBox_PositionWindow");
        QDoubleSpinBox* nodeId = box(w, "doubleSpinBox_NodeID");
        const double windowBefore = window->value();
        const double nodeBefore = nodeId->value();
        const double gain = posGain->value() == posGain->minimum() ? posGain->maximum() : posGain->minimum();
        chooseFile(
            writeFile(files, "b.yaml",
                      QString("控制器:\n  位置环增益: %1\n  减速比: fast\n  位置到达窗口: %2\nCAN总线:\n  节点ID: %3\n")
                          .arg(gain)
                          .arg(windowBefore + 1)
                          .arg(nodeBefore + 1)
                          .toUtf8()));
        loadButton->click();
        QCOMPARE(posGain->value(), gain);
        QCOMPARE(window->value(), windowBefore);
        QCOMPARE(nodeId->value(), nodeBefore);
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].title, QString("解析错误"));
        QCOMPARE(boxes.boxes[0].text, QString("文件解析失败，请检查 YAML 格式"));

        // An empty file changes nothing and says nothing.
        const QMap<QString, double> before = allBoxes(w);
        chooseFile(writeFile(files, "empty.yaml", ""));
        loadButton->click();
        QCOMPARE(allBoxes(w), before);
        QCOMPARE(boxes.boxes.size(), 1);

        // A file that cannot be read, and a cancelled dialog.
        chooseFile(files.filePath("missing.yaml"));
        loadButton->click();
        QCOMPARE(boxes.boxes.size(), 2);
        QCOMPARE(boxes.boxes[1].title, QString("加载失败"));
        QCOMPARE(boxes.boxes[1].text, QString("YAML 文件无法打开！"));
        chooseFile(QString());
        loadButton->click();
        w.findChild<QPushButton*>("pushButton_saveConfigFile")->click();
        QCOMPARE(boxes.boxes.size(), 2);
        QCOMPARE(allBoxes(w), before);
    }

    void saveFailures()
    {
        Restore restore;
        WorkDir dir(false);
        QTemporaryDir files;
        MainWindow w;
        BoxCatcher boxes;
        QPushButton* saveButton = w.findChild<QPushButton*>("pushButton_saveConfigFile");

        chooseFile(files.filePath("no/such/dir/x.yaml"));
        saveButton->click();
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes[0].title, QString("保存失败"));
        QCOMPARE(boxes.boxes[0].text, QString("YAML 文件无法打开！"));

        // A write that fails (no space) is reported, not called a success.
        if (QFile::exists("/dev/full")) {
            chooseFile("/dev/full");
            saveButton->click();
            QCOMPARE(boxes.boxes.size(), 2);
            QCOMPARE(boxes.boxes[1].title, QString("保存错误"));
            QCOMPARE(boxes.boxes[1].text, QString("无法保存文件: /dev/full"));
        }

        // An existing file is replaced whole; a link is saved through to its file.
        const QString path = writeFile(files, "old.yaml", QByteArray(4000, '#'));
        const QString link = files.filePath("link.yaml");
        QVERIFY(QFile::link(path, link));
        chooseFile(link);
        saveButton->click();
        QCOMPARE(boxes.boxes.last().title, QString("保存成功"));
        QCOMPARE(QFileInfo(link).symLinkTarget(), path);
        const QByteArray text = fileBytes(path);
        QVERIFY(text.startsWith("电机:\n"));
        QVERIFY(!text.contains('#'));
    }

    // A save that fails part-way (a full disk) keeps the previous file byte for byte and
    // leaves nothing half-written beside it.
    void failedSaveKeepsThePreviousFile()
    {
        Restore restore;
        WorkDir dir(false);
        QTemporaryDir files;
        MainWindow w;
        BoxCatcher boxes;
        QPushButton* saveButton = w.findChild<QPushButton*>("pushButton_saveConfigFile");
        QByteArray previous = "电机:\n  转矩常数: 0.5\n";
        previous += QByteArray(1821 - previous.size(), '#');
        const QString path = writeFile(files, "drive.yaml", previous);
        const QString fresh = files.filePath("fresh.yaml");
        {
            FileSizeLimit limit(64);
            if (!limit.active()) QSKIP("no file-size limit here");
            chooseFile(path);
            saveButton->click();
            chooseFile(fresh);
            saveButton->click();
        }
        QCOMPARE(boxes.boxes.size(), 2);
        QCOMPARE(boxes.boxes[0].title, QString("保存错误"));
        QCOMPARE(boxes.boxes[0].text, "无法保存文件: " + path);
        QCOMPARE(boxes.boxes[1].text, "无法保存文件: " + fresh);
        QCOMPARE(fileBytes(path), previous);
        QCOMPARE(QDir(files.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"drive.yaml"});

        // Without the limit the same save replaces it.
        chooseFile(path);
        saveButton->click();
        QCOMPARE(boxes.boxes.last().title, QString("保存成功"));
        QVERIFY(fileBytes(path).startsWith("电机:\n  转矩常数: "));
        QVERIFY(!fileBytes(path).contains('#'));
    }

    // Where the folder forbids a file beside the target, as it does a user that is not root:
    // a writable file in a read-only folder is written in place; another's file in a sticky
    // folder cannot be replaced (the final rename is refused), which is a failed save that
    // leaves the file as it was. As root, the case runs again as the user nobody.
    void saveWhereTheFolderForbidsAFileBeside_data()
    {
        QTest::addColumn<bool>("sticky");
        QTest::newRow("writable file in a read-only folder") << false;
        QTest::newRow("another's file in a sticky folder") << true;
    }

    void saveWhereTheFolderForbidsAFileBeside()
    {
        QFETCH(bool, sticky);
        const QByteArray previous = "电机:\n  转矩常数: 0.5\n";
        const char* targetVariable = "QUINTREL_TEST_SAVE_TARGET";
        if (!otheruser::isRerun()) {
            QTemporaryDir base;
            QVERIFY(QFile::setPermissions(base.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                           QFile::ReadOther | QFile::ExeOther));
            const QString folder = base.filePath("folder");
            QVERIFY(QDir().mkdir(folder));
            const QString target = folder + "/drive.yaml";
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(previous);
            f.close();
            QVERIFY(::chmod(QFile::encodeName(target).constData(), 0666) == 0);
            QVERIFY(::chmod(QFile::encodeName(folder).constData(), sticky ? 01777 : 0555) == 0);
            const auto restore = qScopeGuard([&] { ::chmod(QFile::encodeName(folder).constData(), 0755); });
            if (!otheruser::isRoot()) {
                if (sticky) QSKIP("needs a file of another user in the folder: run the tests as root");
                qputenv(targetVariable, QFile::encodeName(target));
                saveAs(target, previous, sticky);
                qunsetenv(targetVariable);
                return;
            }
            QProcessEnvironment extra;
            extra.insert(targetVariable, target);
            const otheruser::Rerun run = otheruser::rerun(QTest::currentTestFunction(), QTest::currentDataTag(), extra);
            if (run.exitCode == otheruser::kCannotDrop) QSKIP("the tests cannot run as another user here");
            QVERIFY2(run.exitCode == 0, qPrintable(run.output));
            // Seen by root as well: the file and nothing beside it.
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"drive.yaml"});
            QCOMPARE(fileBytes(target) == previous, sticky);
            return;
        }
        const QString target = QFile::decodeName(qgetenv(targetVariable));
        // A user that kept root's rights would write the folder anyway: nothing to learn here.
        if (::access(QFile::encodeName(QFileInfo(target).path()).constData(), W_OK) == 0 && !sticky)
            ::_exit(otheruser::kCannotDrop);
        saveAs(target, previous, sticky);
    }

    // The tool does not die of a write past the process's file-size limit (SIGXFSZ at its
    // default): the save fails as on a full disk, with its box.
    void writePastTheSizeLimitFailsTheSave()
    {
        Restore restore;
        WorkDir dir(false);
        QTemporaryDir files;
        const auto previousHandler = std::signal(SIGXFSZ, SIG_DFL);
        struct rlimit previousLimit {};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &previousLimit) == 0);
        const auto restoreProcess = qScopeGuard([&] {
            ::setrlimit(RLIMIT_FSIZE, &previousLimit);
            std::signal(SIGXFSZ, previousHandler);
        });
        MainWindow w;
        BoxCatcher boxes;
        struct rlimit limit = previousLimit;
        limit.rlim_cur = 16;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) QSKIP("no file-size limit here");
        const QString path = files.filePath("drive.yaml");
        chooseFile(path);
        w.findChild<QPushButton*>("pushButton_saveConfigFile")->click();
        ::setrlimit(RLIMIT_FSIZE, &previousLimit);
        QCOMPARE(boxes.texts(), QStringList{"无法保存文件: " + path});
        QVERIFY(!QFile::exists(path));
    }

    // The save dialog itself: a name typed without a suffix is written as .yaml, and an
    // existing file of that name is what the overwrite question is about.
    void saveDialogGivesTheSuffix_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::addColumn<bool>("exists");
        QTest::newRow("no suffix") << "saved1" << "saved1.yaml" << false;
        QTest::newRow("suffix kept") << "saved2.yml" << "saved2.yml" << false;
        QTest::newRow("other suffix kept") << "saved3.txt" << "saved3.txt" << false;
        QTest::newRow("replacing the suffixed file") << "saved4" << "saved4.yaml" << true;
    }
    void saveDialogGivesTheSuffix()
    {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QFETCH(bool, exists);
        Restore restore;
        WorkDir dir(false);
        const QString target = QDir(dir.path()).filePath(written);
        if (exists) {
            QFile old(target);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old: 1\n");
        }
        MainWindow w;
        BoxCatcher boxes(QMessageBox::Yes);
        QStringList shown;
        QTimer typist;
        connect(&typist, &QTimer::timeout, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            typist.stop();
            shown << dialog->windowTitle() << dialog->nameFilters();
            dialog->setDirectory(dir.path());
            dialog->selectFile(typed);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        typist.start(5);
        w.findChild<QPushButton*>("pushButton_saveConfigFile")->click();
        QCOMPARE(shown, QStringList({"保存 YAML 文件", "YAML Files (*.yaml)"}));
        QCOMPARE(boxes.boxes.size(), exists ? 2 : 1);
        if (exists) QVERIFY2(boxes.boxes[0].text.contains(written), qPrintable(boxes.boxes[0].text));
        QCOMPARE(boxes.boxes.last().title, QString("保存成功"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({written}));
        QFile f(target);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().startsWith("电机:\n"));
    }

    void numbersIgnoreADecimalCommaLocale()
    {
        Restore restore;
        std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(load("电机:\n  转动惯量: 0.5\n"), (Applied{{"doubleSpinBox_Inertia", 0.5}}));
        QVERIFY(configfile::saveText([](const char*) { return 0.5; }).find("0.5") != std::string::npos);
        QCOMPARE(configfile::formatNumber(1234.5), std::string("1234.5"));
    }

    void loadUnderAGermanSystemLocale()
    {
        Restore restore;
        if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) QSKIP("de_DE.UTF-8 is not installed");
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        try {
            std::locale::global(std::locale("de_DE.UTF-8"));
        } catch (const std::exception&) {}
        WorkDir dir(true);
        QTemporaryDir files;
        MainWindow w;
        BoxCatcher boxes;
        chooseFile(writeFile(files, "de.yaml", "电机:\n  转动惯量: 0.5\n"));
        w.findChild<QPushButton*>("pushButton_loadConfigFile")->click();
        QVERIFY(boxes.boxes.isEmpty());
        QCOMPARE(box(w, "doubleSpinBox_Inertia")->value(), 0.5);
    }
};

QTEST_MAIN(ConfigFiles)
#include "tst_configfiles.moc"
