// Read All / Write All: press every parameter row's button in turn, 10 ms apart.
#include "app/mainwindow/mainwindow.h"

#include "can/can.h"
#include "forms/ui_mainwindow.h"
#include "app/workers.h"
#include "protocol/parametertable.h"

#include <memory>

namespace {

// The same order for both directions; identification and quick-set rows are left out.
constexpr auto kBulkOrder = protocol::parametersInOrder<49>(&protocol::ParameterInfo::bulkOrder);

// Worker side of both directions. The enabled test and the click happen on the GUI
// thread; the worker only waits and paces. Returns at once when the pool stops.
void pressInTurn(WorkerPool& pool, MainWindow* window, bool read)
{
    for (const protocol::ParameterInfo* entry : kBulkOrder) {
        const QString name = QStringLiteral("pushButton_") + QLatin1String(entry->button) +
                             (read ? QStringLiteral("_2") : QString());
        // Shared: after a stop the queued press may still be pending when this returns.
        auto pressed = std::make_shared<bool>(false);
        const bool answered = pool.runOnGui([window, name, pressed] {
            auto* b = window->findChild<QPushButton*>(name);
            if (!b || !b->isEnabled()) return;
            *pressed = true;
            b->click();
        });
        if (!answered) return;
        if (*pressed && !pool.sleepFor(10)) return;
    }
}

}  // namespace

void MainWindow::on_pushButton_ReadAllConfig_clicked()
{
    if (!canThread->isOpen) {
        QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("ERROR"), QStringLiteral("请先打开设备"));
        return;
    }
    workers->start([this] { ReadAllConfigThread(); });
}

void MainWindow::on_pushButton_WriteAllConfig_clicked()
{
    if (!canThread->isOpen) {
        QMessageBoxWindow(QMessageBoxType::Critical, QStringLiteral("ERROR"), QStringLiteral("请先打开设备"));
        return;
    }
    workers->start([this] { WriteAllConfigThread(); });
}

void MainWindow::ReadAllConfigThread() { pressInTurn(*workers, this, true); }

void MainWindow::WriteAllConfigThread() { pressInTurn(*workers, this, false); }
