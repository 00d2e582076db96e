// Start-up baseline for bench_startup: an empty main window holding one plot. Prints the
// steady-clock time at which its first paint has completed, then leaves at once.
#include "qcustomplot.h"

#include <QApplication>
#include <QMainWindow>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

// Reports once, after the event that painted the window (or any widget in it) has returned:
// the window is painted whole in that one event.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(QWidget* window) : window_(window) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::Paint && !seen_ && widget && widget->window() == window_) {
            seen_ = true;
            QMetaObject::invokeMethod(
                this,
                [] {
                    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count();
                    std::printf("FIRSTPAINT %lld\n", static_cast<long long>(ns));
                    std::fflush(stdout);
                    std::_Exit(0);
                },
                Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* window_;
    bool seen_ = false;
};

void phase(const char* name)
{
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    std::printf("PHASE %s %lld\n", name, static_cast<long long>(ns));
}

}   // namespace

int main(int argc, char** argv)
{
    phase("main");
    QApplication app(argc, argv);
    phase("application");
    QMainWindow window;
    window.setCentralWidget(new QCustomPlot(&window));
    phase("window");
    FirstPaint firstPaint(&window);
    app.installEventFilter(&firstPaint);
    window.show();
    phase("shown");
    return app.exec();
}
