// Port control, the log pane, the state line and error pane, the message box and docks.
#include "mainwindow.h"

#include "can.h"
#include "logformat.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QMessageBox>
#include <QScrollBar>
#include <QTextCursor>
#include <QThread>
#include <QTime>

void MainWindow::on_pushButton_openport_clicked()
{
    if (canThread->isOpen) return;
    if (!ui->radioButtonCAN1->isChecked() && !ui->radioButtonCAN2->isChecked()) {
        qDebug().noquote() << "CAN Selected ERROR";
        QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("ERROR"), QStringLiteral("CAN Selected ERROR"));
        return;
    }
    const int channel = ui->radioButtonCAN1->isChecked() ? 0 : 1;
    emit writeLog(channel == 0 ? QStringLiteral("[CAN] Use CAN 1") : QStringLiteral("[CAN] Use CAN 2"));
    // A loop left from a failed open may still be ending; start() would ignore a running thread.
    canThread->wait();
    canThread->OpenCAN(static_cast<uchar>(ui->comboBox_baud->currentIndex()), channel);
    canThread->start(QThread::InheritPriority);
    if (canThread->isOpen) {
        ui->pushButton_openport->setEnabled(false);
        ui->pushButton_closeport->setEnabled(true);
        ui->radioButtonCAN1->setEnabled(false);
        ui->radioButtonCAN2->setEnabled(false);
    } else {
        qDebug().noquote() << "Open device fail";
        QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("ERROR"), QStringLiteral("Open Device Fail"));
    }
}

void MainWindow::on_pushButton_closeport_clicked()
{
    if (canThread->isOpen) {
        if (curveDisplaying) {
            qDebug().noquote() << "Stop curve display";
            MotorTransmitType(MotorType::StopCurveDisplay, false);
            curveDisplaying = false;
            ui->pushButton_display->setText(QStringLiteral("Display"));
            QThread::msleep(10);
            // Stops the redraw and gives the plot back its free zoom and drag in both directions.
            stopCurvePlot();
        }
        ui->pushButton_plotTemperature->setChecked(false);
        canThread->stop();
        canThread->wait();
        canThread->CloseCAN();
        ui->pushButton_openport->setEnabled(true);
        ui->pushButton_closeport->setEnabled(false);
        ui->radioButtonCAN1->setEnabled(true);
        ui->radioButtonCAN2->setEnabled(true);
    }
    ui->plot->setInteractions(ui->plot->interactions() | QCP::iRangeDrag | QCP::iRangeZoom);
}

void MainWindow::showLogInText(const QString& text)
{
    // Stamped now; appended with the others of the same 16 ms, which keeps the pane up
    // with a saturated bus.
    pendingLog.append(logStamp(QTime::currentTime()) + QLatin1Char(' ') + text);
    if (!logFlushTimer.isActive()) logFlushTimer.start();
}

void MainWindow::flushLog()
{
    logFlushTimer.stop();
    if (pendingLog.isEmpty()) return;
    const int limit = ui->plainTextEdit_display->maximumBlockCount();
    if (limit > 0 && pendingLog.size() > limit) pendingLog.erase(pendingLog.begin(), pendingLog.end() - limit);
    ui->plainTextEdit_display->appendPlainText(pendingLog.join(QLatin1Char('\n')));
    pendingLog.clear();
    ui->plainTextEdit_display->moveCursor(QTextCursor::End);
}

void MainWindow::on_pushButton_clear_clicked()
{
    pendingLog.clear();
    ui->plainTextEdit_display->clear();
}

void MainWindow::showStateMsg(QString text) { ui->lineEdit_state->setText(text); }

void MainWindow::showErrorMsg(QString text, QColor color)
{
    QTextCharFormat format;
    format.setForeground(QBrush(color));
    ui->textEdit_error->mergeCurrentCharFormat(format);
    ui->textEdit_error->append(text);
    ui->textEdit_error->moveCursor(QTextCursor::End);
}

int MainWindow::QMessageBoxWindow(QMessageBoxType type, const QString& title, const QString& text)
{
    // Nobody is left to read it; a question counts as declined.
    if (closing) return type == QMessageBoxType::Question ? QMessageBox::No : QMessageBox::Ok;
    QMessageBox box;
    switch (type) {
    case QMessageBoxType::Warning: box.setIcon(QMessageBox::Warning); break;
    case QMessageBoxType::Critical: box.setIcon(QMessageBox::Critical); break;
    case QMessageBoxType::Question:
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case QMessageBoxType::NoIcon: box.setIcon(QMessageBox::NoIcon); break;
    case QMessageBoxType::Information:
    default: box.setIcon(QMessageBox::Information); break;
    }
    box.setText(text);
    box.setWindowTitle(title);
    return box.exec();
}

void MainWindow::onDockVisibilityChanged(DockType dock, bool visible)
{
    // A minimised window hides its docks; keep the user's marks for when it returns.
    if (isMinimized()) return;
    switch (dock) {
    case DockType::Dock_Control: ui->actionDock_Control->setChecked(visible); break;
    case DockType::Dock_Source: ui->actionDock_Source->setChecked(visible); break;
    case DockType::Dock_Quick_Set: ui->actionDock_Quick_Set->setChecked(visible); break;
    }
}

void MainWindow::controlDockFloating(DockType choice)
{
    QDockWidget* dock = nullptr;
    switch (choice) {
    case DockType::Dock_Control: dock = ui->dockWidget_control; break;
    case DockType::Dock_Source: dock = ui->dockWidget_source; break;
    case DockType::Dock_Quick_Set: dock = ui->dockWidget_quick_set; break;
    }
    if (dock) dock->setFloating(!dock->isFloating());
}
