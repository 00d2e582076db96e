#include <QtTest>

#include "widgets/axistag.h"

namespace {

template <typename T>
T* firstItem(QCustomPlot& plot)
{
    for (int i = 0; i < plot.itemCount(); ++i)
        if (auto* item = qobject_cast<T*>(plot.item(i))) return item;
    return nullptr;
}

bool prepare(QCustomPlot& plot)
{
    plot.setFixedSize(400, 300);
    plot.show();
    if (!QTest::qWaitForWindowExposed(&plot)) return false;
    plot.yAxis->setRange(-5, 5);
    plot.replot();
    return true;
}

}   // namespace

class AxisTagPlacement : public QObject {
    Q_OBJECT

private slots:
    void newTagSitsAtZeroOnRightEdge()
    {
        QCustomPlot plot;
        QVERIFY(prepare(plot));
        AxisTag tag(plot.yAxis);   // the left axis: the tag still sits on the right edge
        plot.replot();

        const QRect r = plot.axisRect()->rect();
        QCPItemTracer* anchor = firstItem<QCPItemTracer>(plot);
        QCPItemText* label = firstItem<QCPItemText>(plot);
        QVERIFY(anchor && label);
        QVERIFY(!anchor->visible());
        const QPointF at = anchor->position->pixelPosition();
        QCOMPARE(at.x(), double(r.left() + r.width()));
        QCOMPARE(at.y(), plot.yAxis->coordToPixel(0));
        QCOMPARE(label->position->pixelPosition(), at + QPointF(15, 0));
    }

    void updatePositionFollowsValueAndAxisOffset()
    {
        QCustomPlot plot;
        QVERIFY(prepare(plot));
        plot.yAxis->setOffset(4);
        AxisTag tag(plot.yAxis);
        tag.updatePosition(2.5);
        tag.setText(QStringLiteral("2.50"));
        plot.replot();

        QCPItemTracer* anchor = firstItem<QCPItemTracer>(plot);
        QCPItemLine* arrow = firstItem<QCPItemLine>(plot);
        QCPItemText* label = firstItem<QCPItemText>(plot);
        QVERIFY(anchor && arrow && label);
        const QPointF at = anchor->position->pixelPosition();
        QCOMPARE(at.y(), plot.yAxis->coordToPixel(2.5));
        QCOMPARE(arrow->end->pixelPosition(), at + QPointF(4, 0));
        QCOMPARE(arrow->start->pixelPosition(), at + QPointF(19, 0));
        QCOMPARE(label->position->pixelPosition(), arrow->start->pixelPosition());
        QCOMPARE(label->text(), QStringLiteral("2.50"));
    }

    void leavesNoItemBehind()
    {
        QCustomPlot plot;
        auto* tag = new AxisTag(plot.yAxis);
        QCOMPARE(plot.itemCount(), 3);
        delete tag;
        QCOMPARE(plot.itemCount(), 0);

        // Items deleted by the plot are skipped, not touched again.
        tag = new AxisTag(plot.yAxis);
        plot.clearItems();
        tag->setPen(QPen(Qt::red));
        tag->setBrush(QBrush(Qt::white));
        tag->setText(QStringLiteral("1"));
        tag->updatePosition(1);
        delete tag;
        QCOMPARE(plot.itemCount(), 0);

        // A plot destroyed first takes its tags with it.
        auto* owner = new QCustomPlot;
        QPointer<AxisTag> orphan = new AxisTag(owner->yAxis);
        delete owner;
        QVERIFY(orphan.isNull());
    }
};

QTEST_MAIN(AxisTagPlacement)
#include "tst_axistag.moc"
