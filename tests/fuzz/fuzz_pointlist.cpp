// Text point lists for the torque calibration: the line parser, then the whole chain from
// a file (read, filter, reduce) to the table frames.
#include "fuzzsupport.h"
#include "formats/torquetable.h"

#include <cmath>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TorquePoint point{0, 0};
    if (parsePointLine(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)), &point))
        fuzz::check(std::isfinite(point.first) && std::isfinite(point.second), "a parsed point is finite");

    const QString path = fuzz::writeInput(data, size, QStringLiteral("points.txt"));
    PointListError error = PointListError::None;
    const TorquePointList points = processExcelFile(path, QStringLiteral("W8K113"), &error);
    fuzz::check(error == PointListError::None, "a readable text file is read");
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
