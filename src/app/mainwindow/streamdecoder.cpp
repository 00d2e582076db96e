// Applies the frames the drive streams or sends for a workflow: temperatures, live
// samples, identification data, hybrid-page feedback, table write results and the
// torque-calibration table. GUI thread only.
#include "app/mainwindow/mainwindow.h"

#include "widgets/axistag.h"
#include "forms/ui_mainwindow.h"
#include "protocol/rawframecodec.h"
#include "widgets/vekcustomplot.h"

#include <QMutexLocker>
#include <QProgressDialog>
#include <QScopedValueRollback>
#include <QTextStream>

void MainWindow::applyReply(const protocol::Temperatures& reply, const uchar* d, int length, float timestep)
{
    const auto& t = reply.celsius;
    const QString text[3] = {QString::number(t[0], 'f', 2), QString::number(t[1], 'f', 2),
                             QString::number(t[2], 'f', 2)};
    ui->label_Temp1->setText(text[0]);
    ui->label_Temp2->setText(text[1]);
    ui->label_Temp3->setText(text[2]);
    if (temperaturePlotting && temperatureData1 && temperatureData2 && temperatureData3) {
        const float x = float(temperatureStartTime.msecsTo(QDateTime::currentDateTime())) / 1000.0f;
        temperatureData1->append(QCPGraphData(x, t[0]));
        temperatureData2->append(QCPGraphData(x, t[1]));
        temperatureData3->append(QCPGraphData(x, t[2]));
    }
    if (ui->radioButton_float->isChecked()) {
        recvText = protocol::receivedValuesLine(timestep, t.data(), 3);
        emit writeLog(recvText);
    } else {
        logReceivedFrame(d, length, timestep);
    }
}

void MainWindow::applyReply(const protocol::LiveSamples& reply, const uchar* d, int length, float timestep)
{
    // A frame too short for the channels shown is no sample of them.
    if (channelCount <= 3 && reply.count < channelCount) return;
    if (firstSamplePending) {
        if (timestep <= 1.0f) return;
        firstSamplePending = false;
        curveTimeOrigin = timestep;
        lastSampleTime = timestep;
    }
    const int n = channelCount;
    if (n < 1 || n > 3 || checkedItems.size() < n) return;
    float v[3];
    for (int k = 0; k < n; ++k) {
        const checkedItem& item = checkedItems.at(k);
        v[k] = rawframes::uintToFloat(reply.raw[k], item.minValue, item.maxValue, 16);
    }
    if (ui->checkBox_showInText->isChecked()) {
        if (ui->radioButton_float->isChecked()) {
            recvText = protocol::receivedValuesLine(timestep, v, n);
            emit writeLog(recvText);
        } else {
            logReceivedFrame(d, length, timestep);
        }
    }
    const float sinceLast = timestep - lastSampleTime;
    if (sinceLast > 0.02f) {
        const float key = timestep - curveTimeOrigin;
        QVector<QCPGraphData>* data[3] = {curveData1, curveData2, curveData3};
        QMutexLocker lock(&plotMutex);
        for (int k = 0; k < n; ++k) data[k]->append(QCPGraphData(key, v[k]));
        lock.unlock();
        lastSampleTime = timestep;
    }
}

void MainWindow::applyReply(const protocol::IdentificationSample& reply, const uchar*, int, float timestep)
{
    using I = protocol::IdentificationSample;
    switch (reply.phase) {
    case I::Start:
        if (calibrationDataFile.isOpen()) calibrationDataFile.close();
        if (calibrationDataFile.open()) calibrationDataFile.resize(0);

        progressDialog->setLabelText(QStringLiteral("正在辨识参数..."));
        progressDialog->show();
        progressMode = ProgressMode::Identification;
        identifyTimer.start();
        identifySeconds = 0;
        progressTimer.start(100);

        curveGraph1->setName(QStringLiteral("电机速度"));
        curveGraph2->setName(QStringLiteral("Iq电流"));
        curveGraph1->setVisible(true);
        curveGraph2->setVisible(true);
        curveGraph3->setVisible(false);
        showAxisTag(axisTag1, curveGraph1);
        showAxisTag(axisTag2, curveGraph2);
        showAxisTag(axisTag3, nullptr);   // graph 3 is hidden: no stale value beside it
        for (int i = 0; i < 3; ++i)
            if (QCPAbstractLegendItem* item = plotLegend->item(i)) item->setVisible(i < 2);
        curveGraph1->data()->clear();
        curveGraph2->data()->clear();
        curveGraph3->data()->clear();
        ui->plot->axisRect()->setRangeZoom(Qt::Vertical);
        ui->plot->axisRect()->setRangeDrag(Qt::Vertical);
        plotLegend->setVisible(true);
        ui->plot->showTracer(false);
        curveRescalePending = true;
        firstSamplePending = true;
        plotTimer.start(16);
        break;
    case I::Sample: {
        if (firstSamplePending) {
            firstSamplePending = false;
            curveTimeOrigin = timestep;
            lastSampleTime = timestep;
        }
        const float x = timestep - curveTimeOrigin;
        const float speed = reply.speed;
        const float iq = reply.iq;
        curveData1->append(QCPGraphData(x, speed));
        curveData2->append(QCPGraphData(x, iq));
        identifySeconds = int(x);
        if (calibrationDataFile.isOpen()) {
            QTextStream out(&calibrationDataFile);
            out.setRealNumberNotation(QTextStream::FixedNotation);
            out.setRealNumberPrecision(4);
            out << x << ' ' << speed << ' ' << iq << '\n';
        }
        break;
    }
    case I::End:
        progressTimer.stop();
        progressDialog->setValue(100);
        progressDialog->close();
        stopCurvePlot();
        // The export's dialog decodes later frames in its own event loop: a repeated end
        // frame must not open a dialog inside it, and another inside that one.
        if (identificationExportOpen) {
            emit writeLog(QStringLiteral(">>> Identification data export already open"));
            break;
        }
        {
            const QScopedValueRollback<bool> open(identificationExportOpen, true);
            emit requestSaveCalibrationData();
        }
        break;
    }
}

void MainWindow::applyReply(const protocol::Position& reply, const uchar*, int, float)
{
    positionReceived = true;
    tpCurrentPosition = reply.position;
    ui->lineEdit_TP_currentPosition->setText(QString::number(tpCurrentPosition));
}

void MainWindow::applyReply(const protocol::HybridFeedback& reply, const uchar* d, int length, float timestep)
{
    // The line is built first and written after the fields are shown.
    recvText = protocol::receivedFrameLine(d, length, timestep);
    const QString line = recvText;
    ui->lineEdit_TP_currentTorque->setText(QString::number(reply.torque));
    ui->lineEdit_TP_currentSpeed->setText(QString::number(reply.speed));
    ui->lineEdit_TP_currentPosition->setText(QString::number(reply.position));
    tpCurrentPosition = reply.position;
    emit writeLog(line);
}

void MainWindow::applyReply(const protocol::TableWriteResult& reply, const uchar*, int, float)
{
    if (reply.ok)
        replyBox(QMessageBoxType::Information, QStringLiteral("Tip"), QStringLiteral("写入成功"));
    else
        replyBox(QMessageBoxType::Warning, QStringLiteral("Warnning"), QStringLiteral("写入失败！"));
}

void MainWindow::applyReply(const protocol::TableRow& reply, const uchar*, int, float)
{
    // Gathered apart from recvText, which every logged frame overwrites.
    if (reply.index == 0) {
        index_TorqueInterpolation = 0;
        TotalNumber_Interpolation = reply.total;
        torqueTableText = QString::asprintf("Current \t Torque  (%d)\n", reply.total);
    }
    torqueTableText += QLatin1Char('\t') + QString::number(reply.current, 'f', 1) + QStringLiteral("\t   ") +
                       QString::number(reply.torque, 'f', 1) + QLatin1Char('\n');
    ++index_TorqueInterpolation;
    if (index_TorqueInterpolation == TotalNumber_Interpolation) emit writeLog(torqueTableText);
}
