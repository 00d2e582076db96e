// Read All / Write All: press every parameter row's button in turn, 10 ms apart.
#include "app/mainwindow/mainwindow.h"

#include "can/can.h"
#include "forms/ui_mainwindow.h"
#include "app/workers.h"
#include "protocol/parametertable.h"

#include <functional>
#include <memory>
#include <vector>

namespace {

// The same order for both directions; identification and quick-set rows are left out.
constexpr auto kBulkOrder = protocol::parametersInOrder<49>(&protocol::ParameterInfo::bulkOrder);

// Worker side of both directions. The enabled test and the press happen on the GUI
// thread; the worker only waits and paces. False when the pool stops first.
bool pressInTurn(WorkerPool& pool, MainWindow* window, bool read,
                 const std::function<void(QPushButton*)>& press)
{
    // Looked up once, on the GUI thread; shared: after a stop the queued call may still
    // be pending when this returns.
    auto buttons = std::make_shared<std::vector<QPushButton*>>();
    const bool found = pool.runOnGui([window, read, buttons] {
        for (const protocol::ParameterInfo* entry : kBulkOrder)
            buttons->push_back(window->findChild<QPushButton*>(QStringLiteral("pushButton_") +
                                                               QLatin1String(entry->button) +
                                                               (read ? QStringLiteral("_2") : QString())));
    });
    if (!found) return false;
    for (QPushButton* button : *buttons) {
        auto pressed = std::make_shared<bool>(false);
        const bool answered = pool.runOnGui([button, pressed, press] {
            if (!button || !button->isEnabled()) return;
            *pressed = true;
            press(button);
        });
        if (!answered) return false;
        if (*pressed && !pool.sleepFor(10)) return false;
    }
    return true;
}

}   // namespace

void MainWindow::on_pushButton_ReadAllConfig_clicked()
{
    if (!canThread->isOpen) {
        showOpenDeviceFirst();
        return;
    }
    workers->start([this] { ReadAllConfigThread(); });
}

void MainWindow::on_pushButton_WriteAllConfig_clicked()
{
    if (!canThread->isOpen) {
        showOpenDeviceFirst();
        return;
    }
    workers->start([this] { WriteAllConfigThread(); });
}

void MainWindow::ReadAllConfigThread() { pressAllRows(true); }

void MainWindow::WriteAllConfigThread() { pressAllRows(false); }

void MainWindow::pressAllRows(bool read)
{
    // Touched only on the GUI thread: by each press and by the report at the end.
    auto tally = std::make_shared<SendTally>();
    const bool finished =
        pressInTurn(*workers, this, read, [this, tally](QPushButton* button) { pressCounted(button, tally.get()); });
    if (finished) workers->postToGui([this, tally] { reportRefusals(*tally); });
}
