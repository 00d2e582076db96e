#include "formats/torquetable.h"

#include "formats/xlsxreader.h"

#include "files/boundedfile.h"

#include <QBuffer>
#include <QDebug>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTextStream>

#include <cmath>
#include <optional>

namespace {

// Cells that name one shared text hold the same string data, and the reader keeps every
// text for its life: each text is converted once, however many cells name it.
using ConvertedTexts = QHash<const QChar*, std::optional<double>>;

// QString/QVariant conversions accept "inf" and "nan"; such a point would
// reach the drive as garbage, so it is treated like any other bad cell.
bool toFinite(const QVariant& value, ConvertedTexts* texts, double* out)
{
    std::optional<double> number;
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        auto it = texts->constFind(text.constData());
        if (it == texts->constEnd()) {
            bool ok = false;
            const double d = text.size() <= MaxNumberTextLength ? text.toDouble(&ok) : 0;
            it = texts->insert(text.constData(), ok && std::isfinite(d) ? std::optional<double>(d) : std::nullopt);
        }
        number = *it;
    } else if (value.canConvert<double>()) {
        bool ok = false;
        const double d = value.toDouble(&ok);
        if (ok && std::isfinite(d)) number = d;
    }
    if (!number) return false;
    *out = *number;
    return true;
}

}   // namespace

TorquePointList readWorkbookPoints(const QString& path)
{
    TorquePointList points;
    XlsxReader workbook(path);
    const QStringList sheets = workbook.sheetNames();
    if (sheets.isEmpty() || !workbook.selectSheet(sheets.first(), 2)) {
        if (!workbook.errorString().isEmpty()) qDebug().noquote() << "workbook not readable:" << workbook.errorString();
        return points;
    }
    ConvertedTexts texts;
    for (int row = 1;; ++row) {
        const QVariant xCell = workbook.read(row, 1);
        if (!xCell.isValid()) break;
        double x, y;
        // A header row of text or a row without a second value is skipped.
        if (!toFinite(workbook.read(row, 2), &texts, &y) || !toFinite(xCell, &texts, &x)) continue;
        points.append({x, y});
    }
    return points;
}

bool parsePointLine(const QString& line, TorquePoint* point)
{
    static const QRegularExpression separators(QStringLiteral("[,\\s\t]+"));
    const QString trimmed = line.trimmed();
    // Only the first two parts are taken, so a long line is not split into all of its parts.
    QStringView parts[2];
    int found = 0;
    qsizetype from = 0;
    QRegularExpressionMatchIterator matches = separators.globalMatch(trimmed);
    while (found < 2 && from < trimmed.size()) {
        qsizetype to = trimmed.size();
        qsizetype next = to;
        if (matches.hasNext()) {
            const QRegularExpressionMatch match = matches.next();
            to = match.capturedStart();
            next = match.capturedEnd();
        }
        if (to > from) parts[found++] = QStringView(trimmed).mid(from, to - from);
        from = next;
    }
    if (found < 2) return false;
    bool okX = false, okY = false;
    const double x = parts[0].toDouble(&okX);
    const double y = parts[1].toDouble(&okY);
    if (!okX || !okY || !std::isfinite(x) || !std::isfinite(y)) return false;
    *point = {x, y};
    return true;
}

bool readTextPoints(const QString& path, TorquePointList* points)
{
    points->clear();
    QByteArray bytes;
    switch (files::readRegularFile(path, MaxPointListFileSize, &bytes)) {
    case files::ReadStatus::CannotOpen: return false;
    case files::ReadStatus::TooLarge:
        qDebug().noquote() << "point list not read: larger than" << MaxPointListFileSize << "bytes";
        return true;
    case files::ReadStatus::Ok: break;
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    QTextStream in(&buffer);
    QString line;
    TorquePoint point;
    while (in.readLineInto(&line)) {
        if (parsePointLine(line, &point)) points->append(point);
    }
    return true;
}

TorquePointList monotonicFilter(const TorquePointList& points)
{
    TorquePointList kept;
    if (points.isEmpty()) return kept;
    kept.append(points.first());
    for (qsizetype i = 1; i < points.size(); ++i) {
        const TorquePoint& last = kept.last();
        if (points[i].first > last.first && points[i].second > last.second) kept.append(points[i]);
    }
    return kept;
}

TorquePointList reducePointList(const TorquePointList& points)
{
    const qsizetype m = points.size();
    if (m <= MaxTorqueTablePoints) return points;
    TorquePointList reduced;
    reduced.reserve(MaxTorqueTablePoints);
    const double step = (m - 1) / double(MaxTorqueTablePoints - 1);
    for (int i = 0; i < MaxTorqueTablePoints; ++i) reduced.append(points.at(qsizetype(i * step + 0.5)));
    return reduced;
}

TorquePointList processExcelFile(const QString& path, const QString& sheet, PointListError* error)
{
    Q_UNUSED(sheet)
    if (error) *error = PointListError::None;
    if (!QFileInfo::exists(path)) {
        qDebug() << "no file found !";
        if (error) *error = PointListError::NoFile;
        return {};
    }

    TorquePointList raw;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("xls") || suffix == QLatin1String("xlsx")) {
        raw = readWorkbookPoints(path);
    } else if (!readTextPoints(path, &raw)) {
        if (error) *error = PointListError::CannotOpen;
        return {};
    }
    // Before the rising filter: a point that is never sent must not hide the ones after it.
    raw.removeIf([](const TorquePoint& point) { return !torqueTablePointFits(point); });
    return reducePointList(monotonicFilter(raw));
}

QString pointListText(const TorquePointList& points)
{
    QString text;
    for (const TorquePoint& point : points) text += QStringLiteral("(%1, %2)\n").arg(point.first).arg(point.second);
    return text;
}
