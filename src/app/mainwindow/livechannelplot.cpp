// The live channel plot: channel choice, start and stop of the drive's sample stream,
// the 16 ms redraw, graph/legend selection, the cross-hair box and the background toggle.
#include "app/mainwindow/mainwindow.h"

#include "widgets/axistag.h"
#include "forms/ui_mainwindow.h"
#include "widgets/vekcustomplot.h"

#include <QDebug>
#include <QLinearGradient>
#include <QMutexLocker>

namespace {

struct Channel {
    const char* checkBox;   // object name in the form
    const char* caption;    // the box's text, key of displayOptionMap
    DisplayOption option;
    const char* name;   // checkedItem and legend name
    float minValue;
    float maxValue;
};

// In bit order: the index is the channel's bit in the start-display mask.
const Channel kChannels[] = {
    {"checkBox_aCurrent", "A相电流值", aCurrent, "aCurrent", -60.0f, 60.0f},
    {"checkBox_bCurrent", "B相电流值", bCurrent, "bCurrent", -60.0f, 60.0f},
    {"checkBox_cCurrent", "C相电流值", cCurrent, "cCurrent", -60.0f, 60.0f},
    {"checkBox_qCurrent", "q轴电流值", qCurrent, "qCurrent", -60.0f, 60.0f},
    {"checkBox_dCurrent", "d轴电流值", dCurrent, "dCurrent", -60.0f, 60.0f},
    {"checkBox_MotorAngle", "电机角度", MotorAngle, "MotorAngle", -625.0f, 625.0f},
    {"checkBox_AxleAngle", "轴机械角度", AxleAngle, "AxleAngle", -12.5f, 12.5f},
    {"checkBox_ElecAngle", "电角度", ElecAngle, "ElecAngle", 0.0f, 6.28f},
    {"checkBox_MotorSpeed", "电机速度值", MotorSpeed, "MotorSpeed", -30.0f, 30.0f},
    {"checkBox_AxleSpeed", "轴速度值", AxleSpeed, "AxleSpeed", -30.0f, 30.0f},
    {"checkBox_BusVoltage", "母线电压", BusVoltage, "BusVoltage", 0.0f, 60.0f},
};

const Channel* channelOf(DisplayOption option)
{
    for (const Channel& c : kChannels)
        if (c.option == option) return &c;
    return nullptr;
}

// The graph's own point vector, so the decoder appends without copying the container.
// Reached through a derived class because QCPDataContainer keeps it protected.
struct GraphDataAccess : QCPGraphDataContainer {
    static QVector<QCPGraphData>* of(QCPGraph* graph)
    {
        QCPGraphDataContainer* container = graph->data().data();
        return &(container->*(&GraphDataAccess::mData));
    }
};

QBrush backgroundBrush(const QColor& color)
{
    QLinearGradient gradient;
    gradient.setColorAt(0, color);
    return QBrush(gradient);
}

const QPen kTransparentPen(QColor(255, 255, 255, 0));

}   // namespace

void MainWindow::initLivePlot()
{
    VekCustomPlot* plot = ui->plot;
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables | QCP::iSelectLegend);

    plot->xAxis->setRange(0, 10, Qt::AlignCenter);
    plot->yAxis->setRange(0, 10, Qt::AlignCenter);
    plot->axisRect()->setupFullAxesBox(false);

    plot->xAxis->setLabel(QStringLiteral("Time"));
    plot->yAxis->setLabel(QStringLiteral("Value"));
    plot->rescaleAxes();

    plot->setNotAntialiasedElements(QCP::aeAll);
    plot->setOpenGl(false, 16);
    qDebug().noquote() << "QCustomplot opengl status: " + QString(plot->openGl() ? "true" : "false");

    plot->setBackground(backgroundBrush(Qt::white));
    setAxisColor(plot, Qt::black, 0.6f);
    setAxisColor(ui->plot_temperature, Qt::black, 0.6f);
}

void MainWindow::initLivePlotGraphs()
{
    VekCustomPlot* plot = ui->plot;
    const QColor colors[3] = {QColor(255, 0, 0), QColor(0, 255, 127), QColor(0, 0, 255)};
    QPointer<QCPGraph>* graphs[3] = {&curveGraph1, &curveGraph2, &curveGraph3};
    QVector<QCPGraphData>** data[3] = {&curveData1, &curveData2, &curveData3};
    for (int k = 0; k < 3; ++k) {
        QCPGraph* g = plot->addGraph(plot->xAxis, plot->yAxis);
        g->setPen(QPen(colors[k], 1.0, Qt::SolidLine));
        g->setAdaptiveSampling(true);
        g->setLineStyle(QCPGraph::lsLine);
        g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone, 6));
        *graphs[k] = g;
        *data[k] = GraphDataAccess::of(g);
    }

    axisTag1 = new AxisTag(curveGraph1->valueAxis());
    axisTag2 = new AxisTag(curveGraph2->valueAxis());
    axisTag3 = new AxisTag(curveGraph3->valueAxis());
    for (AxisTag* tag : {axisTag1, axisTag2, axisTag3}) showAxisTag(tag, nullptr);
    // The tags stand right of the axis rect: keep room there for their values.
    plot->yAxis2->setPadding(QFontMetrics(plot->yAxis->tickLabelFont()).horizontalAdvance(QStringLiteral("-0000.00")) +
                             30);

    plot->setupTracer();

    plotLegend = plot->legend;
    plotLegend->setVisible(false);
    plotLegend->setBrush(QColor(255, 255, 255, 250));
    plot->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
    plotLegend->setBorderPen(Qt::NoPen);
    QFont legendFont = font();
    legendFont.setPointSize(10);
    plotLegend->setFont(legendFont);
    plotLegend->setSelectedFont(legendFont);
    plotLegend->setSelectableParts(QCPLegend::spItems);

    channelCheckBoxes.clear();
    displayOptionMap.clear();
    for (const Channel& c : kChannels) {
        auto* box = formIndex.find<QCheckBox>(QLatin1String(c.checkBox));
        if (!box) qWarning().noquote() << "Form lacks the channel box" << c.checkBox;
        channelCheckBoxes.append(box);   // kept in place even when missing: the index is the bit
        displayOptionMap.insert(QString::fromUtf8(c.caption), c.option);
    }
}

void MainWindow::on_pushButton_display_clicked()
{
    if (curveDisplaying) {
        if (!MotorTransmitType(MotorType::StopCurveDisplay, true)) return;
        curveDisplaying = false;
        ui->pushButton_display->setText(QStringLiteral("Display"));
        stopCurvePlot();
        return;
    }

    checkedItems.clear();
    uint16_t mask = 0;
    for (int i = 0; i < channelCheckBoxes.size(); ++i) {
        QCheckBox* box = channelCheckBoxes.at(i);
        if (!box || !box->isChecked()) continue;
        mask |= uint16_t(1u << i);
        const auto it = displayOptionMap.constFind(box->text());
        // A caption the table does not know falls back to the box's place in bit order.
        const Channel* c = it != displayOptionMap.constEnd() ? channelOf(it.value()) : &kChannels[i];
        checkedItems.append(checkedItem{QString::fromLatin1(c->name), c->minValue, c->maxValue});
    }
    const int n = checkedItems.size();
    channelCount = n;
    if (n < 1 || n > 3) {
        QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("ERROR"),
                          QStringLiteral("The number of choices must be between 1 and 3"));
        return;
    }

    if (!sendOrComplain(protocol::liveDisplayRequest(mask))) return;
    firstSamplePending = true;
    curveDisplaying = true;
    ui->pushButton_display->setText(QStringLiteral("Stop"));
    startCurvePlot();
}

void MainWindow::startCurvePlot()
{
    const int n = checkedItems.size();
    if (n < 1 || n > 3) return;

    QCPGraph* graphs[3] = {curveGraph1, curveGraph2, curveGraph3};
    AxisTag* tags[3] = {axisTag1, axisTag2, axisTag3};
    for (int k = 0; k < 3; ++k) {
        const bool used = k < n;
        if (used) graphs[k]->setName(checkedItems.at(k).name);
        graphs[k]->setVisible(used);
        showAxisTag(tags[k], used ? graphs[k] : nullptr);
        if (QCPAbstractLegendItem* item = plotLegend->item(k)) item->setVisible(used);
    }
    for (QCPGraph* g : graphs) g->data()->clear();

    ui->plot->axisRect()->setRangeZoom(Qt::Vertical);
    ui->plot->axisRect()->setRangeDrag(Qt::Vertical);
    plotLegend->setVisible(true);
    ui->plot->showTracer(false);
    curveRescalePending = true;
    plotTimer.start(16);
}

void MainWindow::stopCurvePlot()
{
    ui->plot->showTracer(ui->checkBox_showTracer->isChecked());
    ui->plot->axisRect()->setRangeZoom(Qt::Horizontal | Qt::Vertical);
    ui->plot->axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    plotTimer.stop();
}

void MainWindow::timerSlot()
{
    if (curveGraph1->data()->isEmpty()) return;
    QMutexLocker lock(&plotMutex);

    if (channelCount >= 1 && channelCount <= 3) {
        QCPGraph* graphs[3] = {curveGraph1, curveGraph2, curveGraph3};
        AxisTag* tags[3] = {axisTag1, axisTag2, axisTag3};
        for (int k = 0; k < channelCount; ++k) {
            const QCPGraphDataContainer* data = graphs[k]->data().data();
            if (data->isEmpty()) continue;
            const double v = (data->constEnd() - 1)->value;
            tags[k]->updatePosition(v);
            tags[k]->setText(QString::number(v, 'f', 2));
        }
    }

    QCPAxis* y = ui->plot->yAxis;
    if (curveRescalePending) {
        y->rescale(false);
        const double lower = y->range().lower;
        const double upper = y->range().upper;
        const double span = upper - lower;
        y->setRange(lower - 0.5 * span, upper + 0.5 * span);
        curveRescalePending = false;
    }

    const QCPGraphDataContainer* first = curveGraph1->data().data();
    ui->plot->xAxis->setRange((first->constEnd() - 1)->key, 10, Qt::AlignRight);
    ui->plot->replot(QCustomPlot::rpQueuedReplot);
}

void MainWindow::showAxisTag(AxisTag* tag, QCPGraph* graph)
{
    if (graph) {
        tag->setPen(graph->pen());
        tag->setBrush(Qt::white);
        return;
    }
    // A transparent pen alone would leave the text box and its last value on show.
    tag->setPen(kTransparentPen);
    tag->setBrush(Qt::NoBrush);
    tag->setText(QString());
}

void MainWindow::selectionChanged()
{
    VekCustomPlot* plot = ui->plot;
    for (int i = 0; i < plot->graphCount(); ++i) {
        QCPGraph* graph = plot->graph(i);
        QCPPlottableLegendItem* item = plot->legend->itemWithPlottable(graph);
        if (graph->selected() || (item && item->selected())) {
            if (item) item->setSelected(true);
            graph->setSelection(QCPDataSelection(graph->data()->dataRange()));
        }
    }
}

void MainWindow::on_checkBox_showTracer_stateChanged(int)
{
    // The cross-hair stays off while the redraw scrolls the plot; the box applies on stop.
    if (plotTimer.isActive()) return;
    ui->plot->showTracer(ui->checkBox_showTracer->isChecked());
    ui->plot->replot(QCustomPlot::rpRefreshHint);
}

void MainWindow::on_actionbackroundColor_triggered()
{
    QColor background, axis;
    QString nextText;
    if (ui->actionbackroundColor->text() == QLatin1String("Use Dack Background")) {
        background = Qt::black;
        axis = Qt::white;
        nextText = QStringLiteral("Use Light Background");
    } else {
        background = Qt::white;
        axis = Qt::black;
        nextText = QStringLiteral("Use Dack Background");
    }
    setAxisColor(ui->plot, axis, 0.6f);
    setAxisColor(ui->plot_temperature, axis, 0.6f);
    ui->actionbackroundColor->setText(nextText);

    const QBrush brush = backgroundBrush(background);
    ui->plot_temperature->setBackground(brush);
    ui->plot_temperature->replot(QCustomPlot::rpRefreshHint);
    ui->plot->setBackground(brush);
    ui->plot->replot(QCustomPlot::rpRefreshHint);
}

void MainWindow::setAxisColor(VekCustomPlot* plot, QColor color, float width)
{
    for (QCPAxis* axis : {plot->xAxis, plot->yAxis}) {
        axis->setLabelColor(color);
        axis->setTickLabelColor(color);
    }
    const QPen pen(QBrush(color), width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    QCPAxisRect* rect = plot->axisRect(0);
    const QCPAxis::AxisType sides[4] = {QCPAxis::atBottom, QCPAxis::atLeft, QCPAxis::atTop, QCPAxis::atRight};
    for (QCPAxis::AxisType side : sides)
        if (QCPAxis* axis = rect->axis(side)) axis->setBasePen(pen);
    for (QCPAxis::AxisType side : sides)
        if (QCPAxis* axis = rect->axis(side)) axis->setTickPen(pen);
    for (QCPAxis::AxisType side : sides)
        if (QCPAxis* axis = rect->axis(side)) axis->setSubTickPen(pen);
}
