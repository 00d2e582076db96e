// Drives the real main window in tests: a working directory with or without the
// definition files, modal boxes caught and closed, the log and the sent frames read back.
#pragma once

#include "support/mainwindowprobe.h"

#include "can/can.h"
#include "ecanvci.h"
#include "app/mainwindow/mainwindow.h"
#include "forms/ui_mainwindow.h"
#include "vocabulary/loadyaml.h"
#include "widgets/nwheeldoublespinbox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <vector>

// Records every modal message box (title, text, the button Enter would press) and answers
// it with a button, or with a key as a user's stray press would.
class BoxCatcher : public QObject {
public:
    struct Box {
        QString title;
        QString text;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        bool keyIgnored = false;   // the key answered nothing; the box was rejected
    };
    explicit BoxCatcher(QMessageBox::StandardButton answer = QMessageBox::Ok) : answer_(answer) { start(); }
    explicit BoxCatcher(Qt::Key key) : key_(key) { start(); }
    QStringList texts() const
    {
        QStringList t;
        for (const Box& b : boxes) t << b.text;
        return t;
    }
    QList<Box> boxes;

private:
    void start()
    {
        timer_.setInterval(5);
        connect(&timer_, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box == last_) return;
            last_ = box;
            QAbstractButton* defaultButton = box->defaultButton();
            boxes << Box{box->windowTitle(), box->text(),
                         defaultButton ? box->standardButton(defaultButton) : QMessageBox::NoButton};
            if (key_ != Qt::Key_unknown) {
                // Where the keyboard focus is, as a user's press lands.
                QWidget* focus = box->focusWidget();
                QTest::keyClick(focus ? focus : box, key_);
                // A key the box ignored would leave it open for good: closed, and noted.
                QTimer::singleShot(200, box, [this, box] {
                    if (!box->isVisible()) return;
                    boxes.last().keyIgnored = true;
                    box->reject();
                });
                return;
            }
            QAbstractButton* b = box->button(answer_);
            if (!b) b = box->button(QMessageBox::Ok);
            if (b)
                b->click();
            else
                box->reject();
        });
        timer_.start();
    }

    QTimer timer_;
    QMessageBox::StandardButton answer_ = QMessageBox::Ok;
    Qt::Key key_ = Qt::Key_unknown;
    QPointer<QMessageBox> last_;
};

// A working directory for one window: empty, or holding the three definition files.
class WorkDir {
public:
    explicit WorkDir(bool withDefinitions)
    {
        previous_ = QDir::currentPath();
        if (withDefinitions) {
            for (const char* f : {"state_config.yaml", "motor_config.yaml", "motor_parameter_config.yaml"})
                QFile::copy(QStringLiteral(QUINTREL_CONFIG_DIR "/") + f, dir_.filePath(f));
        }
        QDir::setCurrent(dir_.path());
    }
    ~WorkDir() { QDir::setCurrent(previous_); }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QString previous_;
};

inline std::vector<SimSentFrame> takeSent()
{
    std::vector<SimSentFrame> out(8192);
    out.resize(SimTakeTransmitted(out.data(), uint32_t(out.size())));
    return out;
}

inline QByteArray frameBytes(const SimSentFrame& f)
{
    return QByteArray(reinterpret_cast<const char*>(f.frame.data), f.frame.dataLen);
}

inline QList<QByteArray> sentBytes()
{
    QList<QByteArray> out;
    for (const SimSentFrame& f : takeSent()) out << frameBytes(f);
    return out;
}

// Writes image as a file in dir and presses Update FW; the file dialog is answered once the
// drive's version and type are shown.
inline void pressUpdateWithImage(MainWindow& w, const QString& dir, const QByteArray& image)
{
    Ui_MainWindow* ui = MainWindowProbe::ui(w);
    const QString path = dir + "/fw.rbl";
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(image);
    f.close();
    MainWindowProbe::answerOpenDialog(w, [ui, path] {
        for (int i = 0; i < 300 && (ui->label_type->text().isEmpty() || ui->label_FW->text().isEmpty()); ++i)
            QTest::qWait(10);
        return path;
    });
    ui->pushButton_updateFW->click();
}

// Opens the port on CAN 1 at the form's baud rate.
inline void openPort(MainWindow& w)
{
    Ui_MainWindow* ui = MainWindowProbe::ui(w);
    ui->radioButtonCAN1->setChecked(true);
    ui->pushButton_openport->click();
    QVERIFY(MainWindowProbe::can(w)->isOpen);
}

// Presses Open Port on CAN 1 where the device cannot be opened: one error box, port left closed.
inline void openPortFails(MainWindow& w)
{
    Ui_MainWindow* ui = MainWindowProbe::ui(w);
    BoxCatcher boxes;
    ui->radioButtonCAN1->setChecked(true);
    ui->pushButton_openport->click();
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes[0].title, QString("ERROR"));
    QCOMPARE(boxes.boxes[0].text, QString("Open Device Fail"));
    QVERIFY(ui->pushButton_openport->isEnabled());
}

// Runs the application's event loop as the program's main does, ending when the last
// window closes, with start as its first work. A guard ends a loop that never would.
inline void runLikeMain(std::function<void()> start, int limitMs = 30000)
{
    const bool quitOnClose = qApp->quitOnLastWindowClosed();
    qApp->setQuitOnLastWindowClosed(true);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, qApp, &QCoreApplication::quit);
    guard.start(limitMs);
    QTimer::singleShot(0, qApp, std::move(start));
    qApp->exec();
    qApp->setQuitOnLastWindowClosed(quitOnClose);
}

// A shown window closed by a test: deleted on close, or kept (as main keeps it) until the
// test ends. addRows gives a test one row of each.
struct ClosableWindow {
    static void addRows()
    {
        QTest::addColumn<bool>("deleteOnClose");
        QTest::newRow("window deleted on close") << true;
        QTest::newRow("window kept until the event loop ends") << false;
    }
    explicit ClosableWindow(bool deleteOnClose) : w(new MainWindow), alive(w), kept(deleteOnClose ? nullptr : w)
    {
        w->setAttribute(Qt::WA_DeleteOnClose, deleteOnClose);
        w->show();
    }
    MainWindow* w;
    QPointer<MainWindow> alive;
    std::unique_ptr<MainWindow> kept;
};
