#ifndef AXISTAG_H
#define AXISTAG_H

#include <QObject>
#include <QPointer>
#include <qcustomplot.h>

// Value flag beside an axis rect: a boxed number with an arrow pointing at
// the height of that number on its axis.
class AxisTag : public QObject {
    Q_OBJECT

public:
    explicit AxisTag(QCPAxis* parentAxis);
    ~AxisTag() override;

    void setPen(const QPen& pen);
    void setBrush(const QBrush& brush);
    void setText(const QString& text);
    void updatePosition(double value);

protected:
    QCPAxis* axis;
    QPointer<QCPItemTracer> dummyTracer;
    QPointer<QCPItemLine> arrow;
    QPointer<QCPItemText> textItem;
};

#endif   // AXISTAG_H
