#ifndef TORQUETABLE_H
#define TORQUETABLE_H

#include "formats/xlsxreader.h"
#include "protocol/motorprotocol.h"

#include <QList>
#include <QString>
#include <QtGlobal>

#include <array>
#include <utility>

// Torque-calibration point list: pairs of (current, torque) read from a
// workbook or a text file, reduced to what the drive's table holds.
using TorquePoint = std::pair<double, double>;
using TorquePointList = QList<TorquePoint>;

constexpr int MinTorqueTablePoints = 10;   // fewer is refused with "数据不足"
constexpr int MaxTorqueTablePoints = 30;
// A text list larger than this (some hundred thousand points) is not read: it gives no points.
constexpr qint64 MaxPointListFileSize = 4 * 1024 * 1024;
// A workbook text longer than any written number is not one.
constexpr qsizetype MaxNumberTextLength = XlsxReader::MaxNumberLength;

enum class PointListError {
    None,
    NoFile,       // nothing at the path ("no file found !" is written to the debug output)
    CannotOpen,   // a text file that cannot be opened; the caller logs and shows it
};

// The filtered list of the file at path: workbook branch for .xls/.xlsx,
// text branch otherwise; points the table frame cannot carry are skipped like rows
// without a point, then monotonicFilter and reducePointList. Empty on any failure. The
// sheet name is not consulted: the first sheet is read.
TorquePointList processExcelFile(const QString& path, const QString& sheet, PointListError* error = nullptr);

// Raw rows of the first sheet, from row 1 down to the first empty cell in column 1. Only
// the first two columns are kept in memory.
TorquePointList readWorkbookPoints(const QString& path);
// Raw lines of a text file; false when it cannot be opened or is no regular file. Empty
// when it is larger than MaxPointListFileSize.
bool readTextPoints(const QString& path, TorquePointList* points);
// One line of a text list: the first two numbers split on commas and white space.
bool parsePointLine(const QString& line, TorquePoint* point);

// Keeps the first point, then each point whose x and y both exceed the last kept one.
TorquePointList monotonicFilter(const TorquePointList& points);
// Evenly picks MaxTorqueTablePoints points, first and last included, from a longer list.
TorquePointList reducePointList(const TorquePointList& points);

// "(x, y)\n" per point, as listed in the log and the confirmation box.
QString pointListText(const TorquePointList& points);

// The table-write frame of one point is built with the other requests.
using protocol::torqueTablePointFits;
using protocol::torqueTablePointFrame;

#endif   // TORQUETABLE_H
