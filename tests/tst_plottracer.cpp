#include <QtTest>

#include "widgets/vekcustomplot.h"
#include "widgets/vektracer.h"

namespace {

// Exposes the plot's tracer state to the test.
class ProbePlot : public VekCustomPlot {
public:
    using VekCustomPlot::VekCustomPlot;
    bool showing() const { return isShowTracer; }
};

template <typename T>
QList<T*> itemsOf(QCustomPlot& plot)
{
    QList<T*> found;
    for (int i = 0; i < plot.itemCount(); ++i)
        if (auto* item = qobject_cast<T*>(plot.item(i))) found << item;
    return found;
}

// The circle of the y tracer sits on the left edge: its x is an axis-rect ratio.
QCPItemTracer* circle(QCustomPlot& plot, bool yTracer)
{
    for (QCPItemTracer* t : itemsOf<QCPItemTracer>(plot)) {
        const auto typeX = t->position->typeX();
        if ((typeX == QCPItemPosition::ptAxisRectRatio) == yTracer) return t;
    }
    return nullptr;
}

QCPItemText* labelOf(QCustomPlot& plot, QCPItemTracer* c)
{
    for (QCPItemText* t : itemsOf<QCPItemText>(plot))
        if (c && t->position->parentAnchor() == c->position) return t;
    return nullptr;
}

QCPItemStraightLine* crossLine(QCustomPlot& plot, bool horizontal)
{
    for (QCPItemStraightLine* l : itemsOf<QCPItemStraightLine>(plot)) {
        const bool isHorizontal = l->point1->coords().x() != l->point2->coords().x();
        if (isHorizontal == horizontal) return l;
    }
    return nullptr;
}

bool anyItemVisible(QCustomPlot& plot)
{
    for (int i = 0; i < plot.itemCount(); ++i)
        if (plot.item(i)->visible()) return true;
    return false;
}

void moveMouse(QWidget& w, const QPointF& pos)
{
    QMouseEvent ev(QEvent::MouseMove, pos, w.mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &ev);
}

}   // namespace

class PlotTracer : public QObject {
    Q_OBJECT

private:
    static bool prepare(ProbePlot& plot)
    {
        plot.setFixedSize(400, 300);
        plot.show();
        if (!QTest::qWaitForWindowExposed(&plot)) return false;
        plot.xAxis->setRange(-5, 5);
        plot.yAxis->setRange(-5, 5);
        plot.replot();
        return true;
    }

private slots:
    void setupCreatesOneHiddenSet()
    {
        ProbePlot plot;
        QCOMPARE(plot.itemCount(), 0);

        plot.showTracer(true);   // before set-up: only the flag
        QVERIFY(plot.showing());
        QCOMPARE(plot.itemCount(), 0);

        plot.setupTracer();
        QVERIFY(!plot.showing());
        QCOMPARE(plot.itemCount(), 8);   // two circles, labels, arrows; two lines
        QVERIFY(!anyItemVisible(plot));

        plot.showTracer(true);
        QVERIFY(anyItemVisible(plot));
        plot.setupTracer();
        QCOMPARE(plot.itemCount(), 8);
        QVERIFY(!plot.showing());
        QVERIFY(!anyItemVisible(plot));
    }

    void crossHairFollowsPointer()
    {
        ProbePlot plot;
        QVERIFY(prepare(plot));
        plot.setupTracer();
        plot.showTracer(true);
        QCPItemText* xLabel = labelOf(plot, circle(plot, false));
        QCPItemText* yLabel = labelOf(plot, circle(plot, true));
        QVERIFY(xLabel && yLabel);

        // The pointer position is rounded to whole pixels, halves away from zero.
        moveMouse(plot, QPointF(150.5, 140.4));
        QCOMPARE(xLabel->text(), QString::number(plot.xAxis->pixelToCoord(151), 'g', 6));
        QCOMPARE(yLabel->text(), QString::number(plot.yAxis->pixelToCoord(140), 'g', 6));
        QCPItemStraightLine* lineV = crossLine(plot, false);
        QCPItemStraightLine* lineH = crossLine(plot, true);
        QVERIFY(lineV && lineH);
        QCOMPARE(lineV->point1->coords().x(), plot.xAxis->pixelToCoord(151));
        QCOMPARE(lineH->point1->coords().y(), plot.yAxis->pixelToCoord(140));
    }

    void yLabelNeverAboveVisibleTop()
    {
        ProbePlot plot;
        QVERIFY(prepare(plot));
        plot.setupTracer();
        plot.showTracer(true);
        QCPItemText* yLabel = labelOf(plot, circle(plot, true));
        QVERIFY(yLabel);

        const int aboveTop = plot.axisRect()->top() - 5;
        QVERIFY(aboveTop >= 0);
        moveMouse(plot, QPointF(200, aboveTop));

        const double pointerY = plot.yAxis->pixelToCoord(aboveTop);
        QVERIFY(pointerY > 5);
        QCOMPARE(yLabel->text(), QStringLiteral("5"));
        QCOMPARE(circle(plot, true)->position->coords().y(), 5.0);
        QCPItemStraightLine* lineH = crossLine(plot, true);
        QVERIFY(lineH);
        QCOMPARE(lineH->point1->coords().y(), pointerY);
    }

    void hiddenCrossHairIgnoresPointer()
    {
        ProbePlot plot;
        QVERIFY(prepare(plot));
        plot.setupTracer();
        QCPItemText* xLabel = labelOf(plot, circle(plot, false));
        QVERIFY(xLabel);

        moveMouse(plot, QPointF(150, 140));
        plot.updateTracerPlot(QPointF(150, 140));
        QVERIFY(xLabel->text().isEmpty());
    }

    void wheelMovesCrossHairBeforeZooming()
    {
        ProbePlot plot;
        QVERIFY(prepare(plot));
        plot.setInteractions(QCP::iRangeZoom);
        plot.setupTracer();
        plot.showTracer(true);
        QCPItemText* xLabel = labelOf(plot, circle(plot, false));
        QVERIFY(xLabel);

        const QPoint pos = plot.axisRect()->rect().center() + QPoint(30, 0);
        const QString expected = QString::number(plot.xAxis->pixelToCoord(pos.x()), 'g', 6);
        QWheelEvent ev(pos, plot.mapToGlobal(pos), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                       Qt::NoScrollPhase, false);
        QApplication::sendEvent(&plot, &ev);

        QVERIFY(plot.xAxis->range().size() < 10);
        QCOMPARE(xLabel->text(), expected);
    }

    void tracerObjectsRemoveTheirItems()
    {
        QCustomPlot plot;
        {
            VekTracer tracer(&plot, VekTracer::YAxisTracer);
            VekTraceLine lines(&plot, VekTraceLine::Both);
            VekTraceLine horizontal(&plot, VekTraceLine::HorizontalLine);
            VekTraceLine none(&plot, static_cast<VekTraceLine::LineType>(7));
            VekTracer other(&plot, static_cast<VekTracer::TracerType>(5));
            other.updatePosition(1, 2);
            none.updatePosition(1, 2);
            QCOMPARE(plot.itemCount(), 9);
        }
        QCOMPARE(plot.itemCount(), 0);

        // Without a plot there are no items and the setters do nothing.
        VekTracer orphan(nullptr, VekTracer::XAxisTracer);
        orphan.setPen(QPen(Qt::blue));
        orphan.setLabelPen(QPen(Qt::blue));
        orphan.setText(QStringLiteral("x"));
        orphan.setVisible(true);

        auto* owned = new VekCustomPlot;
        owned->setupTracer();
        delete owned;   // tracers go before the plot's item list
    }
};

QTEST_MAIN(PlotTracer)
#include "tst_plottracer.moc"
