#include "widgets/axistag.h"

AxisTag::AxisTag(QCPAxis* parentAxis) : QObject(parentAxis), axis(parentAxis)
{
    QCustomPlot* plot = axis->parentPlot();

    // Invisible anchor on the right edge of the axis rect that carries the value.
    dummyTracer = new QCPItemTracer(plot);
    dummyTracer->setVisible(false);
    dummyTracer->position->setTypeX(QCPItemPosition::ptAxisRectRatio);
    dummyTracer->position->setTypeY(QCPItemPosition::ptPlotCoords);
    dummyTracer->position->setAxisRect(axis->axisRect());
    dummyTracer->position->setAxes(nullptr, axis);
    dummyTracer->position->setCoords(1, 0);

    arrow = new QCPItemLine(plot);
    arrow->setLayer(QStringLiteral("overlay"));
    arrow->setClipToAxisRect(false);
    arrow->setHead(QCPLineEnding(QCPLineEnding::esSpikeArrow, 8, 10));
    arrow->end->setParentAnchor(dummyTracer->position);
    arrow->start->setParentAnchor(arrow->end);
    arrow->start->setCoords(15, 0);

    textItem = new QCPItemText(plot);
    textItem->setLayer(QStringLiteral("overlay"));
    textItem->setClipToAxisRect(false);
    textItem->setPadding(QMargins(3, 0, 3, 0));
    textItem->setBrush(QBrush(Qt::white));
    textItem->setPen(QPen(Qt::blue));
    textItem->setPositionAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    textItem->position->setParentAnchor(arrow->start);
}

AxisTag::~AxisTag()
{
    if (dummyTracer) dummyTracer->parentPlot()->removeItem(dummyTracer);
    if (arrow) arrow->parentPlot()->removeItem(arrow);
    if (textItem) textItem->parentPlot()->removeItem(textItem);
}

void AxisTag::setPen(const QPen& pen)
{
    if (arrow) arrow->setPen(pen);
    if (textItem) textItem->setPen(pen);
}

void AxisTag::setBrush(const QBrush& brush)
{
    if (textItem) textItem->setBrush(brush);
}

void AxisTag::setText(const QString& text)
{
    if (textItem) textItem->setText(text);
}

void AxisTag::updatePosition(double value)
{
    if (dummyTracer) dummyTracer->position->setCoords(1.0, value);
    if (arrow) arrow->end->setCoords(axis->offset(), 0);
}
