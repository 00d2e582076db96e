#include "support/windowharness.h"

#include "widgets/vekcustomplot.h"

#include <QRegularExpression>

namespace {

QByteArray hex(const char* t) { return QByteArray::fromHex(t); }

void addPoint(MainWindow& w, int series, double key, double value)
{
    MainWindowProbe::temperatureData(w, series)->append(QCPGraphData(key, value));
}

int points(MainWindow& w, int series) { return MainWindowProbe::temperatureGraph(w, series)->data()->size(); }

bool isPlain(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != image.pixel(0, 0)) return false;
    return true;
}

// What the plot shows, and what it shows once replotted on purpose.
std::pair<QImage, QImage> shownAndReplotted(QCustomPlot* plot)
{
    const QImage shown = plot->grab().toImage();
    plot->replot();
    return {shown, plot->grab().toImage()};
}

}   // namespace

class TemperatureMonitor : public QObject {
    Q_OBJECT

private slots:
    void init() { SimReset(); }

    void plotSetUp()
    {
        WorkDir dir(false);
        MainWindow w;
        VekCustomPlot* plot = MainWindowProbe::ui(w)->plot_temperature;
        QCOMPARE(plot->graphCount(), 3);
        const struct {
            const char* name;
            QColor colour;
        } series[] = {{"MCU", QColor(255, 0, 0)}, {"ntc-mos", QColor(0, 255, 127)}, {"Motor", QColor(0, 0, 255)}};
        for (int k = 1; k <= 3; ++k) {
            QCPGraph* g = MainWindowProbe::temperatureGraph(w, k);
            QCOMPARE(g, plot->graph(k - 1));
            QCOMPARE(g->name(), QString(series[k - 1].name));
            QCOMPARE(g->pen().color(), series[k - 1].colour);
            // The decoder's vector is the graph's own data.
            addPoint(w, k, 1.0, 40.0);
            QCOMPARE(points(w, k), 1);
        }
        // Seconds shown as hours:minutes:seconds.
        auto time = plot->xAxis->ticker().dynamicCast<QCPAxisTickerTime>();
        QVERIFY(time);
        QCOMPARE(time->timeFormat(), QString("%h:%m:%s"));
        QCOMPARE(plot->xAxis->range(), QCPRange(0, 10));
        QCOMPARE(plot->yAxis->range(), QCPRange(15, 75));
    }

    // The plot's page is not on show at start-up, so the plot is first drawn when shown:
    // never as empty buffers, never with what it held before.
    void drawnWhenItsPageIsShown()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        VekCustomPlot* plot = ui->plot_temperature;
        QVERIFY(!plot->isVisible());
        addPoint(w, 1, 2.0, 50.0);
        addPoint(w, 1, 6.0, 30.0);
        ui->tabWidget->setCurrentWidget(ui->tabWidgetPage2);
        QTRY_VERIFY(plot->isVisible());
        const auto [shown, replotted] = shownAndReplotted(plot);
        QCOMPARE(shown, replotted);

        // Not even shown once: grabbing draws it all the same.
        VekCustomPlot alone;
        alone.resize(300, 200);
        alone.addGraph()->addData(QVector<double>{0, 1}, QVector<double>{0, 1});
        const auto [grabbed, redrawn] = shownAndReplotted(&alone);
        QCOMPARE(grabbed, redrawn);
        QVERIFY(!isPlain(grabbed));
    }

    void streamButton()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        ui->pushButton_Temp->click();
        QCOMPARE(boxes.texts(), QStringList{"请先打开设备"});
        QVERIFY(!MainWindowProbe::temperatureStreaming(w));
        QCOMPARE(ui->pushButton_Temp->text(), QString("Get Temperature"));

        openPort(w);
        takeSent();
        ui->pushButton_Temp->click();
        QVERIFY(MainWindowProbe::temperatureStreaming(w));
        QCOMPARE(ui->pushButton_Temp->text(), QString("Stop Temperature"));
        ui->pushButton_Temp->click();
        QVERIFY(!MainWindowProbe::temperatureStreaming(w));
        QCOMPARE(ui->pushButton_Temp->text(), QString("Get Temperature"));
        QCOMPARE(sentBytes(), (QList<QByteArray>{hex("ffffffff5ea00000"), hex("ffffffff5ea10000")}));
        QCOMPARE(boxes.boxes.size(), 1);
    }

    void recordingNeedsAnOpenPort()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        BoxCatcher boxes;
        ui->pushButton_plotTemperature->click();
        QCOMPARE(boxes.texts(), QStringList{"请先打开设备"});
        QVERIFY(!ui->pushButton_plotTemperature->isChecked());
        QCOMPARE(ui->pushButton_plotTemperature->text(), QString("Start Plot"));
        QVERIFY(!MainWindowProbe::temperatureTimer(w).isActive());
        QVERIFY(!MainWindowProbe::temperaturePlotting(w));
        QVERIFY(!MainWindowProbe::reentryGuard(w));
    }

    void recordingStartsAndStops()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        QCPAxisRect* rect = ui->plot_temperature->axisRect(0);
        openPort(w);
        for (int k = 1; k <= 3; ++k) addPoint(w, k, 0.5, 30);

        ui->pushButton_plotTemperature->click();
        QVERIFY(ui->pushButton_plotTemperature->isChecked());
        QCOMPARE(ui->pushButton_plotTemperature->text(), QString("Stop Plot"));
        QVERIFY(!ui->pushButton_clearTemperature->isEnabled());
        QVERIFY(MainWindowProbe::temperatureTimer(w).isActive());
        QCOMPARE(MainWindowProbe::temperatureTimer(w).interval(), 16);
        QVERIFY(MainWindowProbe::temperaturePlotting(w));
        QVERIFY(MainWindowProbe::temperatureRescalePending(w));
        QCOMPARE(rect->rangeZoom(), Qt::Orientations(Qt::Vertical));
        QCOMPARE(rect->rangeDrag(), Qt::Orientations(Qt::Vertical));
        for (int k = 1; k <= 3; ++k) QCOMPARE(points(w, k), 0);

        for (int k = 1; k <= 3; ++k) addPoint(w, k, 0.2, 31);
        ui->pushButton_plotTemperature->click();
        QCOMPARE(ui->pushButton_plotTemperature->text(), QString("Start Plot"));
        QVERIFY(ui->pushButton_clearTemperature->isEnabled());
        QVERIFY(!MainWindowProbe::temperatureTimer(w).isActive());
        QVERIFY(!MainWindowProbe::temperaturePlotting(w));
        QCOMPARE(rect->rangeZoom(), Qt::Horizontal | Qt::Vertical);
        QCOMPARE(rect->rangeDrag(), Qt::Horizontal | Qt::Vertical);
        for (int k = 1; k <= 3; ++k) QCOMPARE(points(w, k), 1);   // kept

        ui->pushButton_clearTemperature->click();
        for (int k = 1; k <= 3; ++k) QCOMPARE(points(w, k), 0);

        // Closing the port ends a recording but not the stream.
        ui->pushButton_Temp->click();
        ui->pushButton_plotTemperature->click();
        ui->pushButton_closeport->click();
        QVERIFY(!ui->pushButton_plotTemperature->isChecked());
        QVERIFY(!MainWindowProbe::temperatureTimer(w).isActive());
        QVERIFY(MainWindowProbe::temperatureStreaming(w));
    }

    void yAxisFittedOnceAndWholeRecordingInView()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        VekCustomPlot* plot = ui->plot_temperature;
        openPort(w);
        ui->pushButton_plotTemperature->click();
        MainWindowProbe::temperatureTimer(w).stop();   // redraws by hand below

        for (int k = 1; k <= 3; ++k) addPoint(w, k, 0.1, 30 + k);
        addPoint(w, 1, 0.3, 35);
        addPoint(w, 2, 0.3, 36);
        MainWindowProbe::temperaturePlotSlot(w);   // series 3 has one point only
        QCOMPARE(plot->yAxis->range(), QCPRange(15, 75));
        QCOMPARE(plot->xAxis->range(), QCPRange(0, 10));
        QVERIFY(MainWindowProbe::temperatureRescalePending(w));

        addPoint(w, 3, 0.3, 50);
        MainWindowProbe::temperaturePlotSlot(w);
        QCOMPARE(plot->yAxis->range(), QCPRange(31, 50));   // all three series
        QCOMPARE(plot->xAxis->range(), QCPRange(0.1, 0.3));
        QVERIFY(!MainWindowProbe::temperatureRescalePending(w));

        // Afterwards the user's vertical range stands while the x range follows the recording.
        plot->yAxis->setRange(20, 40);
        for (int k = 1; k <= 3; ++k) addPoint(w, k, 90.0, 99);
        MainWindowProbe::temperaturePlotSlot(w);
        QCOMPARE(plot->yAxis->range(), QCPRange(20, 40));
        QCOMPARE(plot->xAxis->range(), QCPRange(0.1, 90.0));

        // A new recording fits again.
        ui->pushButton_plotTemperature->click();
        ui->pushButton_plotTemperature->click();
        QVERIFY(MainWindowProbe::temperatureRescalePending(w));
    }

    void temperaturesStreamIntoLabelsAndPlot()
    {
        WorkDir dir(false);
        MainWindow w;
        auto* ui = MainWindowProbe::ui(w);
        openPort(w);
        ui->pushButton_Temp->click();
        ui->pushButton_plotTemperature->click();
        QTest::qWait(1200);   // about six frames at five a second

        const QRegularExpression shown("^-?\\d+\\.\\d\\d$");
        for (QLabel* label : {ui->label_Temp1, ui->label_Temp2, ui->label_Temp3}) {
            QVERIFY2(shown.match(label->text()).hasMatch(), qPrintable(label->text()));
            const double t = label->text().toDouble();
            QVERIFY(t >= -45 && t <= 175);
        }
        for (int k = 1; k <= 3; ++k) QVERIFY2(points(w, k) >= 3, qPrintable(QString::number(points(w, k))));
        const QVector<QCPGraphData>* mcu = MainWindowProbe::temperatureData(w, 1);
        QVERIFY(mcu->first().key >= 0 && mcu->first().key < 0.5);
        QVERIFY(mcu->last().key > 0.6 && mcu->last().key < 1.5);
        QVERIFY(!MainWindowProbe::temperatureRescalePending(w));
        QCOMPARE(ui->plot_temperature->xAxis->range().upper, mcu->last().key);

        // Stopping the recording keeps the labels moving but the series still.
        ui->pushButton_plotTemperature->click();
        const int kept = points(w, 1);
        QTest::qWait(500);
        QCOMPARE(points(w, 1), kept);
        ui->pushButton_Temp->click();
        QVERIFY(!MainWindowProbe::temperatureStreaming(w));
    }
};

QTEST_MAIN(TemperatureMonitor)
#include "tst_temperaturemonitor.moc"
