// Port control, the log pane, the state line and error pane, the message box and docks.
#include "app/mainwindow/mainwindow.h"

#include "can/can.h"
#include "app/logformat.h"
#include "forms/ui_mainwindow.h"

#include <QDebug>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextCursor>
#include <QThread>

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

void MainWindow::closePort(bool updateForm)
{
    if (!canThread->isOpen) return;
    if (curveDisplaying) {
        qDebug().noquote() << "Stop curve display";
        MotorTransmitType(MotorType::StopCurveDisplay, false);
        if (updateForm) {
            curveDisplaying = false;
            ui->pushButton_display->setText(QStringLiteral("Display"));
        }
        QThread::msleep(10);
        // Stops the redraw and gives the plot back its free zoom and drag in both directions.
        if (updateForm) stopCurvePlot();
    }
    if (updateForm) ui->pushButton_plotTemperature->setChecked(false);
    canThread->stop();
    canThread->wait();
    canThread->CloseCAN();
}

void MainWindow::on_pushButton_closeport_clicked()
{
    if (canThread->isOpen) {
        closePort(true);
        ui->pushButton_openport->setEnabled(true);
        ui->pushButton_closeport->setEnabled(false);
        ui->radioButtonCAN1->setEnabled(true);
        ui->radioButtonCAN2->setEnabled(true);
    }
    ui->plot->setInteractions(ui->plot->interactions() | QCP::iRangeDrag | QCP::iRangeZoom);
}

void MainWindow::showLogInText(const QString& text) { pendingLog.append(currentLogStamp(), text); }

const QString& MainWindow::currentLogStamp()
{
    // Stamped now; appended with the others of the same 16 ms, which keeps the pane up
    // with a saturated bus. The clock is synced to local time at the start of each batch.
    if (!logFlushTimer.isActive()) {
        logClock.sync();
        logFlushTimer.start();
    }
    const int ms = logClock.msecsOfDay();
    if (ms != logStampMs) {
        logStampMs = ms;
        logStampText = logStamp(ms) + QLatin1Char(' ');
    }
    return logStampText;
}

void MainWindow::flushLog()
{
    logFlushTimer.stop();
    if (pendingLog.isEmpty()) return;
    QPlainTextEdit* pane = ui->plainTextEdit_display;
    QTextDocument* doc = pane->document();
    const int limit = doc->maximumBlockCount();
    const QList<qsizetype>& starts = pendingLog.starts();
    const QString& lines = pendingLog.text();
    const qsizetype count = starts.size();
    const qsizetype first = limit > 0 && count > limit ? count - limit : 0;

    // The lines the batch pushes out are removed before it goes in, and a batch that fills
    // the pane alone replaces it, so no line is laid out only to be deleted.
    QScrollBar* bar = pane->verticalScrollBar();
    const bool atBottom = pane->isVisible() && bar->value() >= bar->maximum();
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    const int existing = doc->isEmpty() ? 0 : doc->blockCount();
    const int surplus = limit > 0 ? int(existing + (count - first) - limit) : 0;
    if (existing > 0 && surplus > 0) {
        // Selected by position: moving the cursor block by block would lay each one out.
        const int end = surplus >= existing ? doc->characterCount() - 1 : doc->findBlockByNumber(surplus).position();
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    // Each pending line starts with its separator; the first line of an empty pane needs none.
    const qsizetype from = starts[first] + (doc->isEmpty() ? 1 : 0);
    cursor.setPosition(doc->characterCount() - 1);
    cursor.insertText(QString::fromRawData(lines.constData() + from, lines.size() - from));
    cursor.endEditBlock();
    pendingLog.taken();
    // A view at the bottom stays there, as appending to the pane keeps it.
    if (atBottom) bar->setValue(bar->maximum());
    pane->moveCursor(QTextCursor::End);
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

int MainWindow::QMessageBoxWindow(QMessageBoxType type, const QString& title, const QString& text,
                                  QMessageBox::StandardButton defaultButton)
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
    if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
    // Sends of other actions, made in the box's event loop, are not the pressed row's.
    const QScopedValueRollback<SendTally*> notCounting(sendTally, nullptr);
    return box.exec();
}

void MainWindow::replyBox(QMessageBoxType type, const QString& title, const QString& text)
{
    // A stream of such replies (another node's, say) would otherwise nest one box and one
    // event loop per frame until the stack runs out.
    if (replyBoxOpen) {
        emit writeLog(QStringLiteral(">>> ") + text);
        return;
    }
    const QScopedValueRollback<bool> open(replyBoxOpen, true);
    QMessageBoxWindow(type, title, text);
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
