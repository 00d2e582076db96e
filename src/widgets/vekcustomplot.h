#ifndef VEKCUSTOMPLOT_H
#define VEKCUSTOMPLOT_H

#include <qcustomplot.h>

class VekTracer;
class VekTraceLine;

// QCustomPlot with an optional mouse cross-hair and a wheel zoom that
// stops once an axis span has passed its limit.
class VekCustomPlot : public QCustomPlot {
    Q_OBJECT

public:
    explicit VekCustomPlot(QWidget* parent = nullptr);
    ~VekCustomPlot() override;

    void setupTracer();
    void showTracer(bool show);
    void updateTracerPlot(const QPointF& pos);
    void setAnxisRange(float xMax, float xMin, float yMax, float yMin);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

    bool isShowTracer;
    VekTracer* xTracer;
    VekTracer* yTracer;
    VekTraceLine* lineTracer;
    float xRangeMax;
    float xRangeMin;
    float yRangeMax;
    float yRangeMin;

private:
    bool tracerReady() const;
};

#endif   // VEKCUSTOMPLOT_H
