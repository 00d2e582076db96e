// Drive configuration files on the form: only the form changes; the user writes to the
// drive afterwards.
#include "app/mainwindow/mainwindow.h"
#include "files/boundedfile.h"
#include "files/savedfile.h"
#include "formats/configfiles.h"
#include "forms/ui_mainwindow.h"

#include <QBuffer>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QTextStream>

#include <stdexcept>

namespace {

// A name typed without a suffix gets ".yaml", as the native save dialog gives it the filter's;
// the dialog then asks about overwriting the file that is actually written.
QString askSavePath(QWidget* parent, const QString& caption, const QString& filter)
{
    QFileDialog dialog(parent, caption, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setSupportedSchemes({QStringLiteral("file")});
    dialog.setDefaultSuffix(QStringLiteral("yaml"));
    if (dialog.exec() != QDialog::Accepted) return QString();
    return dialog.selectedFiles().value(0);
}

}   // namespace

void MainWindow::on_pushButton_saveConfigFile_clicked()
{
    const QString caption = tr("保存 YAML 文件");
    const QString filter = tr("YAML Files (*.yaml)");
    const QString path = configfile::saveDialogHook ? configfile::saveDialogHook(this, caption, filter)
                                                    : askSavePath(this, caption, filter);
    if (path.isEmpty()) return;

    bool failed = false;
    try {
        const std::string text = configfile::saveText([this](const char* name) {
            const auto* box = formIndex.find<QDoubleSpinBox>(QLatin1String(name));
            if (!box) throw std::runtime_error(std::string("no input ") + name);
            return box->value();
        });
        // A full disk must neither be reported as a saved file nor cost the previous one.
        switch (files::saveFile(path, QByteArray::fromStdString(text), QIODevice::Text)) {
        case files::SaveStatus::CannotOpen:
            QMessageBox::information(this, tr("保存失败"), tr("YAML 文件无法打开！"));
            return;
        case files::SaveStatus::WriteFailed: failed = true; break;
        case files::SaveStatus::Saved: break;
        }
    } catch (const std::exception&) {
        failed = true;
    }
    if (failed) {
        QMessageBox::warning(this, tr("保存错误"), tr("无法保存文件: %1").arg(path));
        return;
    }
    QMessageBox::information(this, tr("保存成功"), tr("YAML 文件已成功保存！"));
}

void MainWindow::on_pushButton_loadConfigFile_clicked()
{
    const QString caption = tr("选择 YAML 文件");
    const QString filter = tr("YAML Files (*.yaml *.yml)");
    const QString path = configfile::openDialogHook ? configfile::openDialogHook(this, caption, filter)
                                                    : QFileDialog::getOpenFileName(this, caption, QString(), filter);
    if (path.isEmpty()) return;

    QByteArray bytes;
    const files::ReadStatus read = files::readRegularFile(path, configfile::MaxFileSize, &bytes);
    if (read == files::ReadStatus::CannotOpen) {
        QMessageBox::information(this, tr("加载失败"), tr("YAML 文件无法打开！"));
        return;
    }
    // A file far beyond any saved one is not parsed at all.
    const bool readable = read == files::ReadStatus::Ok;
    QString text;
    if (readable) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly | QIODevice::Text);
        QTextStream in(&buffer);
        in.setEncoding(QStringConverter::Utf8);
        text = in.readAll();
    }

    const configfile::LoadResult result =
        !readable ? configfile::LoadResult::ParseError
                  : configfile::applyText(text.toStdString(), [this](const char* name, double value) {
                        if (auto* box = formIndex.find<QDoubleSpinBox>(QLatin1String(name))) box->setValue(value);
                    });
    if (result == configfile::LoadResult::ParseError)
        QMessageBox::warning(this, tr("解析错误"), tr("文件解析失败，请检查 YAML 格式"));
}
