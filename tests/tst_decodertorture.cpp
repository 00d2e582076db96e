#include "support/windowharness.h"

#include <QFileDialog>
#include <QHash>

#include <cmath>
#include <random>

// A million random frames through the reply decoder of a real window, part of them while
// the live display runs: nothing may crash, block, send, or lose a reply's box.
class DecoderTorture : public QObject {
    Q_OBJECT

private:
    // Answers every message and file box the moment its event loop turns (a 5 ms poll
    // would cost minutes over tens of thousands of boxes), counting them by text.
    class InstantBoxes {
    public:
        InstantBoxes()
        {
            timer_.setInterval(0);
            QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
                QWidget* modal = QApplication::activeModalWidget();
                if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                    ++count[box->text()];
                    box->reject();
                } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                    ++count[QStringLiteral("file dialog")];
                    dialog->reject();
                }
            });
            timer_.start();
        }
        QHash<QString, int> count;

    private:
        QTimer timer_;
    };

    // Frames as the adapter hands them over: eight bytes, of which `length` are the frame.
    struct Frame {
        uint8_t d[8];
        int length;
    };

    class FrameSource {
    public:
        Frame next()
        {
            static const uint8_t kinds[] = {0xF0, 0xF1, 0xF2, 0xF5, 0xFA, 0xFB, 0x9C, 0x33, 0x60};
            // Second bytes that lead past the first test of each kind.
            static const uint8_t selectors[] = {0xFF, 0x10, 0x1F, 0x11, 0x07, 0x0B, 0x46, 0x2C};
            Frame f;
            for (uint8_t& b : f.d) b = uint8_t(rng_());
            f.length = int(rng_() % 9);
            if (rng_() % 2 == 0) {
                // Half the frames are of a known kind. 0x58 opens a modal box for every frame
                // (some 2 ms each under the sanitizers), so it is drawn a tenth as often as
                // the others: still thousands of boxes.
                const uint32_t r = rng_() % (10 * std::size(kinds) + 1);
                f.d[0] = r < 10 * std::size(kinds) ? kinds[r / 10] : 0x58;
                if (rng_() % 10 < 3) f.d[1] = selectors[rng_() % std::size(selectors)];
            }
            return f;
        }

    private:
        std::mt19937 rng_{20240611u};
    };

    // The offscreen platform warns on every box shown; thousands of those would push the
    // test's own messages past QtTest's warning limit.
    static QtMessageHandler previousHandler;
    static void dropBoxNoise(QtMsgType type, const QMessageLogContext& context, const QString& msg)
    {
        if (type == QtWarningMsg && msg == QLatin1String("This plugin does not support propagateSizeHints()")) return;
        previousHandler(type, context, msg);
    }

private slots:
    void init() { SimReset(); }
    void initTestCase() { previousHandler = qInstallMessageHandler(dropBoxNoise); }
    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }

    void millionRandomFrames()
    {
        WorkDir dir(true);
        SimSetDriveAttached(0);   // the port opens, but only our frames arrive
        MainWindow w;
        Ui_MainWindow* ui = MainWindowProbe::ui(w);
        MainWindowProbe::answerSaveDialog(w, [] { return QString(); });
        MainWindowProbe::answerOpenDialog(w, [] { return QString(); });
        openPort(w);
        takeSent();
        InstantBoxes boxes;

        constexpr int total = 1000000;
        constexpr int loggedUntil = 20000;   // the log pane takes the first frames only
        constexpr int displayFrom = 300000, displayUntil = 700000;
        FrameSource source;
        int tableReplies[2] = {0, 0};   // 0x58: failed, succeeded
        // The decoder slot through the meta-object, as a delivered slot call reaches it; a
        // million calls stay cheap.
        const int slot = w.metaObject()->indexOfSlot(
            QMetaObject::normalizedSignature("deal_recv_data(const uchar*,int,float)").constData());
        QVERIFY(slot >= 0);
        QElapsedTimer clock;
        clock.start();

        for (int i = 0; i < total; ++i) {
            if (i == loggedUntil) {
                // Every line costs a time stamp and a place in the pane; later frames are
                // decoded with the log off.
                w.flushLog();
                QCOMPARE(MainWindowProbe::rawLogLines(w).size(), 5000);   // the newest lines only
                QVERIFY(QObject::disconnect(&w, &MainWindow::writeLog, &w, nullptr));
            }
            if (i == displayFrom) {
                ui->checkBox_qCurrent->setChecked(true);
                ui->checkBox_MotorSpeed->setChecked(true);
                ui->pushButton_display->click();
                QVERIFY(MainWindowProbe::curveDisplaying(w));
            }
            if (i == displayUntil) {
                QVERIFY(!MainWindowProbe::points(w, 1).isEmpty() && !MainWindowProbe::points(w, 2).isEmpty());
                ui->pushButton_display->click();
                QVERIFY(!MainWindowProbe::curveDisplaying(w));
            }

            const Frame f = source.next();
            if (f.d[0] == 0x58 && f.length >= 2) ++tableReplies[f.d[1] == 0xFF];
            // The adapter's clock: one frame per millisecond, counted from the open.
            float t = float(double(i) * 0.001 + 0.5);
            const uchar* data = f.d;
            int length = f.length;
            void* args[] = {nullptr, &data, &length, &t};
            QMetaObject::metacall(&w, QMetaObject::InvokeMetaMethod, slot, args);
            // Redraws, progress ticks and the log run between frames, as on a busy bus.
            if (i % 256 == 0) QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        qInfo("%d frames in %lld ms", total, static_cast<long long>(clock.elapsed()));

        // Every table-write reply got its own box, answered; the decoder itself sent nothing.
        QCOMPARE(boxes.count.value(QStringLiteral("写入成功")), tableReplies[1]);
        QCOMPARE(boxes.count.value(QStringLiteral("写入失败！")), tableReplies[0]);
        QVERIFY(tableReplies[0] + tableReplies[1] > 2000);
        QCOMPARE(sentBytes(),
                 (QList<QByteArray>{QByteArray::fromHex("ffffffff55a00801"), QByteArray::fromHex("ffffffff55a1ffff")}));
        QVERIFY(!QApplication::activeModalWidget() || !qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));

        // What was plotted is finite however wild the samples.
        for (int k = 1; k <= 3; ++k) {
            const QCPGraphDataContainer& points = MainWindowProbe::points(w, k);
            for (auto p = points.constBegin(); p != points.constEnd(); ++p)
                QVERIFY2(std::isfinite(p->key) && std::isfinite(p->value), qPrintable(QString::number(k)));
        }

        // The window still decodes and logs as before.
        QVERIFY(connect(&w, SIGNAL(writeLog(QString)), &w, SLOT(showLogInText(QString))));
        ui->pushButton_clear->click();
        MainWindowProbe::decode(w, {0xF1, 0x07, 0x02, 0x00, 0x00, 0xA0, 0x41, 0x00}, 1500.0f);
        QCOMPARE(ui->doubleSpinBox_CurrentLimit->value(), 20.0);
        QCOMPARE(MainWindowProbe::logLines(w),
                 (QStringList{"[Recv: 1500.000] f1 07 02 00 00 a0 41 00", ">>> Get \"CurrentLimit\" Value: 20"}));
    }
};

QtMessageHandler DecoderTorture::previousHandler = nullptr;

QTEST_MAIN(DecoderTorture)
#include "tst_decodertorture.moc"
