// Shared by the fuzz targets: silence Qt's chatter, hand an input over as a file.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// Debug and warning lines cost more than most inputs and tell the fuzzer nothing;
// a fatal message still aborts, so the fuzzer keeps the input.
inline void quietQt()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
        if (type == QtFatalMsg) {
            std::fprintf(stderr, "qFatal: %s\n", qPrintable(msg));
            std::abort();
        }
    });
}

// A folder of the process's own under TMPDIR (scripts/fuzz.sh points that into memory: a
// file rewritten for every input costs a disk flush otherwise).
inline const QTemporaryDir& scratchDir()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/quintrel-fuzz-XXXXXX"));
    if (!dir.isValid()) std::abort();
    return dir;
}

// Writes the input to a file of the given name in the scratch folder (replacing the last
// one) and returns its path.
inline QString writeInput(const uint8_t* data, size_t size, const QString& name)
{
    const QString path = scratchDir().filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    if (size && f.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) std::abort();
    f.close();
    return path;
}

// Aborts (and so keeps the input) when an invariant of the code under test breaks.
inline void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

}   // namespace fuzz
