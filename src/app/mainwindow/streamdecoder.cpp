// Decodes the frames the drive streams or sends for a workflow: temperatures, live
// samples, identification data, hybrid-page feedback, table write results and the
// torque-calibration table. GUI thread only.
#include "app/mainwindow/mainwindow.h"

#include "widgets/axistag.h"
#include "forms/ui_mainwindow.h"
#include "widgets/vekcustomplot.h"

#include <QMutexLocker>
#include <QProgressDialog>
#include <QTextStream>

namespace {

uint16_t be16(const uchar* p) { return uint16_t((p[0] << 8) | p[1]); }
uint32_t be24(const uchar* p) { return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]; }
uint16_t le16(const uchar* p) { return uint16_t(p[0] | (p[1] << 8)); }

QString recvStamp(float timestep)
{
    return QStringLiteral("[Recv: ") + QString::number(timestep, 'f', 3) + QLatin1Char(']');
}

}  // namespace

void MainWindow::decodeStreamReply(const uchar* d, int length, float timestep)
{
    switch (d[0]) {
    case 0xF5: {
        float t[3];
        for (int k = 0; k < 3; ++k) t[k] = float(be16(d + 1 + 2 * k)) * 220.0f / 65535.0f - 45.0f;
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
            recvText = recvStamp(timestep) + QLatin1Char(' ') + text[0] + QLatin1Char(' ') + text[1] +
                       QLatin1Char(' ') + text[2];
            emit writeLog(recvText);
        } else {
            logReceivedFrame(d, length, timestep);
        }
        break;
    }

    case 0xFA: {
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
            v[k] = float(be16(d + 1 + 2 * k)) * (item.maxValue - item.minValue) / 65535.0f + item.minValue;
        }
        if (ui->checkBox_showInText->isChecked()) {
            if (ui->radioButton_float->isChecked()) {
                recvText = recvStamp(timestep);
                for (int k = 0; k < n; ++k) recvText += QLatin1Char(' ') + QString::number(v[k], 'f', 2);
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
        break;
    }

    case 0xFB:
        if (d[1] == 0x10) {
            if (calibrationDataFile.isOpen()) calibrationDataFile.close();
            if (calibrationDataFile.open()) calibrationDataFile.resize(0);

            progressDialog->setLabelText(QStringLiteral("正在辨识参数..."));
            progressDialog->show();
            progressMode = 1;
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
        } else if (d[1] == 0x1F) {
            if (firstSamplePending) {
                firstSamplePending = false;
                curveTimeOrigin = timestep;
                lastSampleTime = timestep;
            }
            const float x = timestep - curveTimeOrigin;
            const float speed = float(be24(d + 2)) * 400.0f / 16777215.0f - 200.0f;
            const float iq = float(be24(d + 5)) * 40.0f / 16777215.0f - 20.0f;
            curveData1->append(QCPGraphData(x, speed));
            curveData2->append(QCPGraphData(x, iq));
            identifySeconds = int(x);
            if (calibrationDataFile.isOpen()) {
                QTextStream out(&calibrationDataFile);
                out.setRealNumberNotation(QTextStream::FixedNotation);
                out.setRealNumberPrecision(4);
                out << x << ' ' << speed << ' ' << iq << '\n';
            }
        } else if (d[1] == 0x11) {
            progressTimer.stop();
            progressDialog->setValue(100);
            progressDialog->close();
            stopCurvePlot();
            emit requestSaveCalibrationData();
        }
        break;

    case 0x9C:
        logReceivedFrame(d, length, timestep);
        positionReceived = true;
        tpCurrentPosition = le16(d + 6);
        ui->lineEdit_TP_currentPosition->setText(QString::number(tpCurrentPosition));
        break;

    case 0x33: {
        // The line is built first and written after the fields are shown.
        recvText = recvStamp(timestep) + protocol::hexBytes(d, std::clamp(length, 0, 8));
        const QString line = recvText;
        const uint16_t position = le16(d + 6);
        ui->lineEdit_TP_currentTorque->setText(QString::number(le16(d + 2)));
        ui->lineEdit_TP_currentSpeed->setText(QString::number(le16(d + 4)));
        ui->lineEdit_TP_currentPosition->setText(QString::number(position));
        tpCurrentPosition = position;
        emit writeLog(line);
        break;
    }

    case 0x58:
        if (d[1] == 0xFF)
            QMessageBoxWindow(QMessageBoxType::Information, QStringLiteral("Tip"), QStringLiteral("写入成功"));
        else
            QMessageBoxWindow(QMessageBoxType::Warning, QStringLiteral("Warnning"), QStringLiteral("写入失败！"));
        break;

    case 0x60: {
        static uint8_t index_TorqueInterpolation = 0;
        static uint8_t TotalNumber_Interpolation = 0;
        if (d[1] != 0x10) break;
        // Gathered apart from recvText, which every logged frame overwrites.
        if (d[3] == 0) {
            index_TorqueInterpolation = 0;
            TotalNumber_Interpolation = d[2];
            torqueTableText = QString::asprintf("Current \t Torque  (%d)\n", d[2]);
        }
        const float current = float(le16(d + 4) * 0.1);
        const float torque = float(le16(d + 6) * 0.1);
        torqueTableText += QLatin1Char('\t') + QString::number(current, 'f', 1) + QStringLiteral("\t   ") +
                           QString::number(torque, 'f', 1) + QLatin1Char('\n');
        ++index_TorqueInterpolation;
        if (index_TorqueInterpolation == TotalNumber_Interpolation) emit writeLog(torqueTableText);
        break;
    }

    default:
        break;
    }
}
