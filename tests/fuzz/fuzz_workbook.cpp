// Workbook files: the .xlsx reader on any bytes, then the torque point list read from it.
#include "fuzzsupport.h"
#include "formats/torquetable.h"
#include "formats/xlsxreader.h"

#include <cmath>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::writeInput(data, size, QStringLiteral("input.xlsx"));

    XlsxReader reader(path);
    const QStringList sheets = reader.sheetNames();
    for (qsizetype i = 0; i < qMin<qsizetype>(sheets.size(), 4); ++i) {
        if (!reader.selectSheet(sheets.at(i))) continue;
        for (int row = 0; row <= 4; ++row)
            for (int column = 0; column <= 4; ++column) (void)reader.read(row, column);
        (void)reader.read(1048576, 16384);
        (void)reader.read(-1, -1);
    }
    (void)reader.selectSheet(QStringLiteral("no such sheet"));
    (void)reader.read(1, 1);
    (void)reader.errorString();

    const TorquePointList points = processExcelFile(path, QStringLiteral("W8K113"));
    fuzz::check(points.size() <= MaxTorqueTablePoints, "at most 30 points reach the table");
    for (qsizetype i = 0; i < points.size(); ++i) {
        fuzz::check(std::isfinite(points[i].first) && std::isfinite(points[i].second), "points are finite");
        fuzz::check(torqueTablePointFits(points[i]), "every point is sent as listed");
        if (i > 0)
            fuzz::check(points[i].first > points[i - 1].first && points[i].second > points[i - 1].second,
                        "points rise in both values");
        (void)torqueTablePointFrame(int(points.size()), int(i), points[i]);
    }
    (void)pointListText(points);
    return 0;
}
