#include <QtTest>

#include "widgets/vekcustomplot.h"

// Wheel zoom of the plot: which axes zoom, and when a span limit refuses it.
class PlotZoom : public QObject {
    Q_OBJECT

private:
    struct Fixture {
        VekCustomPlot plot;
        QList<Qt::Orientations> seenByBase;   // orientations while the base handler ran

        Fixture()
        {
            plot.setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
            plot.setFixedSize(400, 300);
            QObject::connect(&plot, &QCustomPlot::mouseWheel, &plot,
                             [this](QWheelEvent*) { seenByBase << plot.axisRect()->rangeZoom(); });
        }

        bool ready()
        {
            plot.show();
            if (!QTest::qWaitForWindowExposed(&plot)) return false;
            plot.replot();
            return true;
        }

        void setRanges(double xLower, double xUpper, double yLower, double yUpper)
        {
            plot.xAxis->setRange(xLower, xUpper);
            plot.yAxis->setRange(yLower, yUpper);
            plot.replot();
        }

        QPoint overXAxis() const
        {
            const QRect r = plot.axisRect()->rect();
            return QPoint(r.center().x(), r.bottom() + 3);
        }
        QPoint overYAxis() const
        {
            const QRect r = plot.axisRect()->rect();
            return QPoint(r.left() - 3, r.center().y());
        }
        QPoint overPlotArea() const { return plot.axisRect()->rect().center(); }
        QPoint overCorner() const
        {
            const QRect r = plot.axisRect()->rect();
            return QPoint(r.left() + 1, r.bottom() - 1);
        }

        void wheel(const QPoint& pos, int delta, int horizontalDelta = 0)
        {
            QWheelEvent ev(pos, plot.mapToGlobal(pos), QPoint(), QPoint(horizontalDelta, delta), Qt::NoButton,
                           Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(&plot, &ev);
        }

        QCPRange x() const { return plot.xAxis->range(); }
        QCPRange y() const { return plot.yAxis->range(); }
    };

    static bool sameRange(const QCPRange& a, const QCPRange& b)
    {
        return qFuzzyCompare(a.lower + 1e6, b.lower + 1e6) && qFuzzyCompare(a.upper + 1e6, b.upper + 1e6);
    }

private slots:
    void hitTestChoosesAxis()
    {
        Fixture f;
        QVERIFY(f.ready());
        f.setRanges(-5, 5, -5, 5);

        f.wheel(f.overXAxis(), 120);
        QVERIFY(f.x().size() < 10);
        QVERIFY(sameRange(f.y(), QCPRange(-5, 5)));

        f.setRanges(-5, 5, -5, 5);
        f.wheel(f.overYAxis(), 120);
        QVERIFY(sameRange(f.x(), QCPRange(-5, 5)));
        QVERIFY(f.y().size() < 10);

        f.setRanges(-5, 5, -5, 5);
        f.wheel(f.overPlotArea(), -120);
        QVERIFY(f.x().size() > 10);
        QVERIFY(f.y().size() > 10);
    }

    void zoomInBelowMinimumOverXAxisDoesNothing()
    {
        Fixture f;
        QVERIFY(f.ready());
        f.setRanges(0, 0.005, -5, 5);

        f.wheel(f.overXAxis(), 120);

        QVERIFY(sameRange(f.x(), QCPRange(0, 0.005)));
        QVERIFY(sameRange(f.y(), QCPRange(-5, 5)));
        QVERIFY(f.seenByBase.isEmpty());
    }

    void zoomOutAboveMaximumKeepsOtherAxis()
    {
        Fixture f;
        QVERIFY(f.ready());
        f.setRanges(-5, 5, -1000, 1000);

        f.wheel(f.overPlotArea(), -120);

        QVERIFY(f.x().size() > 10);
        QVERIFY(sameRange(f.y(), QCPRange(-1000, 1000)));
        QCOMPARE(f.seenByBase, QList<Qt::Orientations>{Qt::Horizontal});
    }

    void cornerCountsAsNeitherAxis()
    {
        Fixture f;
        QVERIFY(f.ready());
        f.setRanges(-5, 5, -5, 5);
        const QPoint corner = f.overCorner();
        QVERIFY(f.plot.xAxis->selectTest(corner, false) >= 0);
        QVERIFY(f.plot.yAxis->selectTest(corner, false) >= 0);

        f.wheel(corner, 120);

        QCOMPARE(f.seenByBase, QList<Qt::Orientations>{Qt::Horizontal | Qt::Vertical});
    }

    void spanEqualToLimitStillZooms()
    {
        Fixture f;
        QVERIFY(f.ready());
        f.plot.setAnxisRange(20, 1, 20, 1);

        f.setRanges(0, 1, 0, 1);
        f.wheel(f.overPlotArea(), 120);
        QVERIFY(f.x().size() < 1);
        QVERIFY(f.y().size() < 1);

        f.setRanges(0, 20, 0, 20);
        f.wheel(f.overPlotArea(), -120);
        QVERIFY(f.x().size() > 20);
        QVERIFY(f.y().size() > 20);
    }

    void limitsFollowArgumentOrder_data()
    {
        QTest::addColumn<bool>("overX");
        QTest::addColumn<double>("span");
        QTest::addColumn<int>("delta");
        QTest::addColumn<bool>("zooms");

        // setAnxisRange(xMax 100, xMin 2, yMax 50, yMin 3)
        QTest::newRow("x out above xMax") << true << 150.0 << -120 << false;
        QTest::newRow("x out below xMax") << true << 90.0 << -120 << true;
        QTest::newRow("x in below xMin") << true << 1.5 << 120 << false;
        QTest::newRow("x in above xMin") << true << 2.5 << 120 << true;
        QTest::newRow("y out above yMax") << false << 60.0 << -120 << false;
        QTest::newRow("y out below yMax") << false << 40.0 << -120 << true;
        QTest::newRow("y in below yMin") << false << 2.5 << 120 << false;
        QTest::newRow("y in above yMin") << false << 3.5 << 120 << true;
    }

    void limitsFollowArgumentOrder()
    {
        QFETCH(bool, overX);
        QFETCH(double, span);
        QFETCH(int, delta);
        QFETCH(bool, zooms);

        Fixture f;
        QVERIFY(f.ready());
        f.plot.setAnxisRange(100, 2, 50, 3);
        f.setRanges(0, span, 0, span);

        f.wheel(overX ? f.overXAxis() : f.overYAxis(), delta);

        const QCPRange r = overX ? f.x() : f.y();
        QCOMPARE(!sameRange(r, QCPRange(0, span)), zooms);
    }

    void zeroDeltaPassesThrough()
    {
        Fixture f;
        QVERIFY(f.ready());
        // Both spans are past a limit; with no vertical delta neither is refused.
        f.setRanges(0, 0.001, -1000, 1000);

        f.wheel(f.overYAxis(), 0, 120);

        QCOMPARE(f.seenByBase, QList<Qt::Orientations>{Qt::Vertical});
        QVERIFY(sameRange(f.x(), QCPRange(0, 0.001)));
        QVERIFY(sameRange(f.y(), QCPRange(-1000, 1000)));
    }

    void orientationsRestoredAfterEveryWheel()
    {
        const QList<Qt::Orientations> starts{Qt::Vertical, Qt::Horizontal | Qt::Vertical, Qt::Horizontal};
        for (Qt::Orientations start : starts) {
            Fixture f;
            QVERIFY(f.ready());
            f.plot.axisRect()->setRangeZoom(start);

            f.setRanges(0, 0.005, -5, 5);
            f.wheel(f.overXAxis(), 120);   // refused
            QCOMPARE(f.plot.axisRect()->rangeZoom(), start);

            f.setRanges(-5, 5, -5, 5);
            f.wheel(f.overPlotArea(), 120);   // zooms
            QCOMPARE(f.plot.axisRect()->rangeZoom(), start);
            f.wheel(f.overCorner(), -120);
            QCOMPARE(f.plot.axisRect()->rangeZoom(), start);
            f.wheel(f.overYAxis(), 0);
            QCOMPARE(f.plot.axisRect()->rangeZoom(), start);
            QCOMPARE(f.seenByBase.size(), 3);
        }
    }
};

QTEST_MAIN(PlotZoom)
#include "tst_plotzoom.moc"
