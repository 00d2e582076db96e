// Temperature monitor: the drive streams MCU, MOS and motor temperatures into three labels
// and, while recording, into a time plot.
#include "app/mainwindow/mainwindow.h"

#include "can/can.h"
#include "forms/ui_mainwindow.h"
#include "widgets/vekcustomplot.h"

#include <QMutexLocker>

#include <cstring>

namespace {

// The decoder appends straight to a graph's point vector; the container keeps it protected.
struct GraphPoints : QCPGraphDataContainer {
    static QVector<QCPGraphData>* of(QCPGraph* graph)
    {
        QCPGraphDataContainer* container = graph->data().data();
        return &(container->*(&GraphPoints::mData));
    }
};

struct Series {
    const char* name;
    QColor colour;
};

}   // namespace

void MainWindow::createTemperaturePlot()
{
    VekCustomPlot* plot = ui->plot_temperature;
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables | QCP::iSelectLegend);

    QSharedPointer<QCPAxisTickerTime> timeTicker(new QCPAxisTickerTime);
    timeTicker->setTimeFormat(QStringLiteral("%h:%m:%s"));
    timeTicker->setTickCount(8);
    plot->xAxis->setTicker(timeTicker);
    QSharedPointer<QCPAxisTicker> valueTicker(new QCPAxisTicker);
    valueTicker->setTickCount(8);
    valueTicker->setTickStepStrategy(QCPAxisTicker::tssReadability);
    plot->yAxis->setTicker(valueTicker);

    plot->axisRect(0)->setupFullAxesBox();
    plot->axisRect(0)->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
    plot->legend->setVisible(true);
    plot->legend->setFont(QFont(QStringLiteral("MS Shell Dlg 2"), 8, 100));
    plot->legend->setIconSize(15, 10);
    plot->legend->setSelectableParts(QCPLegend::spItems);
    // No context menu: the request is left unanswered.
    plot->setContextMenuPolicy(Qt::CustomContextMenu);

    plot->xAxis->setRange(0, 10);
    plot->yAxis->setRange(15, 75);
    plot->xAxis->setLabel(QStringLiteral("Time (s)"));
    plot->yAxis->setLabel(QStringLiteral("Temperature (℃)"));

    const Series series[3] = {
        {"MCU", QColor(255, 0, 0)}, {"ntc-mos", QColor(0, 255, 127)}, {"Motor", QColor(0, 0, 255)}};
    QPointer<QCPGraph>* graphs[3] = {&temperatureGraph1, &temperatureGraph2, &temperatureGraph3};
    QVector<QCPGraphData>** data[3] = {&temperatureData1, &temperatureData2, &temperatureData3};
    for (int k = 0; k < 3; ++k) {
        QCPGraph* graph = plot->addGraph(plot->xAxis, plot->yAxis);
        graph->setPen(QPen(series[k].colour, 1, Qt::SolidLine));
        graph->setAdaptiveSampling(true);
        graph->setName(QLatin1String(series[k].name));
        *graphs[k] = graph;
        *data[k] = GraphPoints::of(graph);
    }

    plot->setAnxisRange(100000, 0.01, 1000, 0.01);
    connect(&temperatureTimer, &QTimer::timeout, this, &MainWindow::temperaturePlotSlot);
    plot->setNotAntialiasedElements(QCP::aeAll);
}

void MainWindow::on_pushButton_Temp_clicked()
{
    if (!sendOrComplain(protocol::temperatureStreamRequest(temperatureStreaming))) return;
    temperatureStreaming = !temperatureStreaming;
    ui->pushButton_Temp->setText(temperatureStreaming ? QStringLiteral("Stop Temperature")
                                                      : QStringLiteral("Get Temperature"));
}

void MainWindow::on_pushButton_plotTemperature_toggled(bool checked)
{
    if (reentryGuard) return;
    reentryGuard = true;

    QCPAxisRect* rect = ui->plot_temperature->axisRect(0);
    if (checked && !canThread->isOpen) {
        ui->pushButton_plotTemperature->setChecked(false);
        // Released before the box: its event loop must not swallow other guarded slots.
        reentryGuard = false;
        showOpenDeviceFirst();
        return;
    }
    if (checked) {
        temperatureRescalePending = true;
        temperaturePlotting = true;
        temperatureStartTime = QDateTime::currentDateTime();
        for (QCPGraph* graph : {temperatureGraph1.data(), temperatureGraph2.data(), temperatureGraph3.data()})
            if (graph) graph->data()->clear();
        rect->setRangeZoom(Qt::Vertical);
        rect->setRangeDrag(Qt::Vertical);
        ui->pushButton_plotTemperature->setText(QStringLiteral("Stop Plot"));
        ui->pushButton_clearTemperature->setEnabled(false);
        temperatureTimer.start(16);
    } else {
        rect->setRangeZoom(Qt::Horizontal | Qt::Vertical);
        rect->setRangeDrag(Qt::Horizontal | Qt::Vertical);
        ui->pushButton_plotTemperature->setText(QStringLiteral("Start Plot"));
        ui->pushButton_clearTemperature->setEnabled(true);
        temperatureTimer.stop();
        temperaturePlotting = false;
    }

    reentryGuard = false;
}

void MainWindow::temperaturePlotSlot()
{
    for (const QVector<QCPGraphData>* points : {temperatureData1, temperatureData2, temperatureData3})
        if (!points || points->size() <= 1) return;

    VekCustomPlot* plot = ui->plot_temperature;
    if (temperatureRescalePending) {
        plot->yAxis->rescale(false);
        temperatureRescalePending = false;
    }
    plot->xAxis->setRange(temperatureData1->first().key, temperatureData1->last().key);
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void MainWindow::on_pushButton_clearTemperature_clicked()
{
    for (QCPGraph* graph : {temperatureGraph1.data(), temperatureGraph2.data(), temperatureGraph3.data()})
        if (graph) graph->data()->clear();
    ui->plot_temperature->replot(QCustomPlot::rpRefreshHint);
}
