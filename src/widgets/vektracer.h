#ifndef VEKTRACER_H
#define VEKTRACER_H

#include <QBrush>
#include <QObject>
#include <QPen>
#include <QString>

class QCustomPlot;
class QCPItemTracer;
class QCPItemText;
class QCPItemLine;
class QCPItemStraightLine;

// One axis marker of the cross-hair: a circle on an edge of the axis rect,
// its value label and a small arrow between them.
class VekTracer : public QObject {
    Q_OBJECT

public:
    enum TracerType : int { XAxisTracer = 0, YAxisTracer = 1 };

    explicit VekTracer(QCustomPlot* _plot, TracerType _type, QObject* parent = nullptr);
    ~VekTracer() override;

    void setPen(const QPen& pen);
    void setBrush(const QBrush& brush);
    void setText(const QString& text);
    void setLabelPen(const QPen& pen);
    void setVisible(bool vis);
    void updatePosition(double xValue, double yValue);

protected:
    bool visible;
    QCustomPlot* customPlot;
    TracerType type;
    QCPItemTracer* tracer;
    QCPItemText* textItem;
    QCPItemLine* arrow;
};

// The dashed cross lines that follow the pointer.
class VekTraceLine : public QObject {
public:
    enum LineType : int { VerticalLine = 0, HorizontalLine = 1, Both = 2 };

    explicit VekTraceLine(QCustomPlot* _plot, LineType _type = VerticalLine, QObject* parent = nullptr);
    ~VekTraceLine() override;

    void initLine();
    void updatePosition(double xValue, double yValue);

    // Public: the plot shows and hides the lines directly.
    LineType type;
    QCustomPlot* customPlot;
    QCPItemStraightLine* lineV;
    QCPItemStraightLine* lineH;
};

#endif   // VEKTRACER_H
