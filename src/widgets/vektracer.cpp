#include "widgets/vektracer.h"

#include <qcustomplot.h>

#include <algorithm>

VekTracer::VekTracer(QCustomPlot* _plot, TracerType _type, QObject* parent)
    : QObject(parent),
      visible(false),
      customPlot(_plot),
      type(_type),
      tracer(nullptr),
      textItem(nullptr),
      arrow(nullptr)
{
    if (!customPlot) return;

    QPen pen(Qt::red);
    pen.setWidthF(0.5);
    const QBrush brush(Qt::NoBrush);

    tracer = new QCPItemTracer(customPlot);
    tracer->setStyle(QCPItemTracer::tsCircle);
    tracer->setPen(pen);
    tracer->setBrush(brush);

    textItem = new QCPItemText(customPlot);
    textItem->setLayer(QStringLiteral("overlay"));
    textItem->setClipToAxisRect(false);
    textItem->setPadding(QMargins(5, 5, 5, 5));
    textItem->setBrush(brush);
    textItem->setPen(pen);
    textItem->position->setParentAnchor(tracer->position);
    textItem->setFont(QFont(QStringLiteral("Arial"), 8));
    textItem->setColor(Qt::red);
    textItem->setText(QString());

    arrow = new QCPItemLine(customPlot);
    arrow->setPen(pen);
    arrow->setLayer(QStringLiteral("overlay"));
    arrow->setClipToAxisRect(false);
    arrow->setHead(QCPLineEnding(QCPLineEnding::esSpikeArrow, 8, 10));

    switch (type) {
    case XAxisTracer:
        tracer->position->setTypeX(QCPItemPosition::ptPlotCoords);
        tracer->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        tracer->setSize(7);
        textItem->setPositionAlignment(Qt::AlignTop | Qt::AlignHCenter);
        arrow->end->setParentAnchor(tracer->position);
        arrow->start->setParentAnchor(arrow->end);
        arrow->start->setCoords(0, 20);
        break;
    case YAxisTracer:
        tracer->position->setTypeX(QCPItemPosition::ptAxisRectRatio);
        tracer->position->setTypeY(QCPItemPosition::ptPlotCoords);
        tracer->setSize(7);
        textItem->setPositionAlignment(Qt::AlignRight | Qt::AlignHCenter);
        arrow->end->setParentAnchor(tracer->position);
        arrow->start->setParentAnchor(textItem->position);
        arrow->start->setCoords(-20, 0);
        break;
    default: break;
    }

    setVisible(false);
}

VekTracer::~VekTracer()
{
    if (!customPlot) return;
    if (tracer) customPlot->removeItem(tracer);
    if (textItem) customPlot->removeItem(textItem);
    if (arrow) customPlot->removeItem(arrow);
}

void VekTracer::setPen(const QPen& pen)
{
    if (tracer) tracer->setPen(pen);
    if (arrow) arrow->setPen(pen);
}

void VekTracer::setBrush(const QBrush& brush)
{
    if (tracer) tracer->setBrush(brush);
}

void VekTracer::setLabelPen(const QPen& pen)
{
    if (textItem) {
        textItem->setPen(pen);
        textItem->setBrush(Qt::NoBrush);
        textItem->setColor(pen.color());
    }
}

void VekTracer::setText(const QString& text)
{
    if (textItem) textItem->setText(text);
}

void VekTracer::setVisible(bool vis)
{
    visible = vis;
    if (tracer) tracer->setVisible(visible);
    if (textItem) textItem->setVisible(visible);
    if (arrow) arrow->setVisible(visible);
}

void VekTracer::updatePosition(double xValue, double yValue)
{
    // A tracer built without a plot has nothing to move.
    if (!customPlot || !tracer) return;

    // Keep the y marker inside the visible range.
    const double yLimited = std::min(yValue, customPlot->yAxis->range().upper);

    switch (type) {
    case XAxisTracer:
        tracer->position->setCoords(xValue, 1.0);
        textItem->position->setCoords(0, 15);
        arrow->start->setCoords(0, 15);
        arrow->end->setCoords(0, 0);
        setText(QString::number(xValue, 'g', 6));
        break;
    case YAxisTracer:
        tracer->position->setCoords(0.0, yLimited);
        textItem->position->setCoords(-20, 0);
        arrow->start->setCoords(20, 0);
        arrow->end->setCoords(0, 0);
        setText(QString::number(yLimited, 'g', 6));
        break;
    default: break;
    }
}

VekTraceLine::VekTraceLine(QCustomPlot* _plot, LineType _type, QObject* parent)
    : QObject(parent), type(_type), customPlot(_plot), lineV(nullptr), lineH(nullptr)
{
    initLine();
}

VekTraceLine::~VekTraceLine()
{
    if (!customPlot) return;
    if (lineV) customPlot->removeItem(lineV);
    if (lineH) customPlot->removeItem(lineH);
}

void VekTraceLine::initLine()
{
    if (!customPlot) return;

    const QPen linesPen(QBrush(Qt::red, Qt::SolidPattern), 1.0, Qt::DashLine);

    if (type == VerticalLine || type == Both) {
        lineV = new QCPItemStraightLine(customPlot);
        lineV->setLayer(QStringLiteral("overlay"));
        lineV->setPen(linesPen);
        lineV->setClipToAxisRect(true);
        lineV->point1->setCoords(0, 0);
        lineV->point2->setCoords(0, 0);
    }

    if (type == HorizontalLine || type == Both) {
        lineH = new QCPItemStraightLine(customPlot);
        lineH->setLayer(QStringLiteral("overlay"));
        lineH->setPen(linesPen);
        lineH->setClipToAxisRect(true);
        lineH->point1->setCoords(0, 0);
        lineH->point2->setCoords(0, 0);
    }
}

void VekTraceLine::updatePosition(double xValue, double yValue)
{
    if ((type == VerticalLine || type == Both) && lineV) {
        const QCPRange yRange = customPlot->yAxis->range();
        lineV->point1->setCoords(xValue, yRange.lower);
        lineV->point2->setCoords(xValue, yRange.upper);
    }

    if ((type == HorizontalLine || type == Both) && lineH) {
        const QCPRange xRange = customPlot->xAxis->range();
        lineH->point1->setCoords(xRange.lower, yValue);
        lineH->point2->setCoords(xRange.upper, yValue);
    }
}
