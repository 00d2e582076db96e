#include "widgets/vekcustomplot.h"

#include "widgets/vektracer.h"

namespace {
// An axis counts as under the pointer when its hit distance is below this.
constexpr double kAxisHitPixels = 15.0;

bool axisHit(double distance) { return distance >= 0 && distance < kAxisHitPixels; }
}   // namespace

VekCustomPlot::VekCustomPlot(QWidget* parent)
    : QCustomPlot(parent),
      isShowTracer(false),
      xTracer(nullptr),
      yTracer(nullptr),
      lineTracer(nullptr),
      xRangeMax(10000),
      xRangeMin(0.01f),
      yRangeMax(1000),
      yRangeMin(0.01f)
{
    // The base queues a first replot. Dropped, a plot on a page not on show costs nothing
    // at start-up: every first show or grab delivers a resize, which queues the replot.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    mReplotQueued = false;

    // The value tags and the cross-hair sit on the overlay layer, but every change to them
    // replots the whole plot: a buffer of its own would only be one more to allocate, clear
    // and blend onto the widget on every redraw.
    if (QCPLayer* overlay = layer(QStringLiteral("overlay"))) overlay->setMode(QCPLayer::lmLogical);
}

VekCustomPlot::~VekCustomPlot()
{
    // The tracers remove their items from this plot, so they must go while
    // the QCustomPlot part still exists.
    delete xTracer;
    xTracer = nullptr;
    delete yTracer;
    yTracer = nullptr;
    delete lineTracer;
    lineTracer = nullptr;
}

bool VekCustomPlot::tracerReady() const { return isShowTracer && xTracer && yTracer && lineTracer; }

void VekCustomPlot::setupTracer()
{
    if (!xTracer) xTracer = new VekTracer(this, VekTracer::XAxisTracer, nullptr);
    if (!yTracer) yTracer = new VekTracer(this, VekTracer::YAxisTracer, nullptr);
    if (!lineTracer) lineTracer = new VekTraceLine(this, VekTraceLine::Both, nullptr);
    showTracer(false);
}

void VekCustomPlot::showTracer(bool show)
{
    isShowTracer = show;
    if (xTracer) xTracer->setVisible(show);
    if (yTracer) yTracer->setVisible(show);
    if (lineTracer) {
        if (lineTracer->lineV) lineTracer->lineV->setVisible(show);
        if (lineTracer->lineH) lineTracer->lineH->setVisible(show);
    }
}

void VekCustomPlot::updateTracerPlot(const QPointF& pos)
{
    if (!tracerReady()) return;

    const double x = xAxis->pixelToCoord(pos.x());
    const double y = yAxis->pixelToCoord(pos.y());
    yTracer->updatePosition(x, y);
    xTracer->updatePosition(x, y);
    lineTracer->updatePosition(x, y);
    replot(QCustomPlot::rpRefreshHint);
}

void VekCustomPlot::setAnxisRange(float xMax, float xMin, float yMax, float yMin)
{
    xRangeMax = xMax;
    xRangeMin = xMin;
    yRangeMax = yMax;
    yRangeMin = yMin;
}

void VekCustomPlot::mouseMoveEvent(QMouseEvent* event)
{
    QCustomPlot::mouseMoveEvent(event);

    if (!tracerReady()) return;

    const QPoint pos = event->position().toPoint();
    const double x = xAxis->pixelToCoord(pos.x());
    const double y = yAxis->pixelToCoord(pos.y());
    yTracer->updatePosition(x, y);
    xTracer->updatePosition(x, y);
    lineTracer->updatePosition(x, y);
    replot(QCustomPlot::rpRefreshHint);
}

void VekCustomPlot::wheelEvent(QWheelEvent* event)
{
    const QPointF pos = mapFromGlobal(event->globalPosition().toPoint());

    const bool xHit = axisHit(xAxis->selectTest(pos, false));
    const bool yHit = axisHit(yAxis->selectTest(pos, false));

    // Over exactly one axis only that axis zooms; a corner or the plot area
    // zooms both.
    bool zoomX = true;
    bool zoomY = true;
    if (xHit && !yHit)
        zoomY = false;
    else if (yHit && !xHit)
        zoomX = false;

    const double xSpan = xAxis->range().upper - xAxis->range().lower;
    const double ySpan = yAxis->range().upper - yAxis->range().lower;

    const int direction = event->angleDelta().y();
    if (direction > 0) {
        if (xSpan < xRangeMin) zoomX = false;
        if (ySpan < yRangeMin) zoomY = false;
    } else if (direction < 0) {
        if (xSpan > xRangeMax) zoomX = false;
        if (ySpan > yRangeMax) zoomY = false;
    }

    if (!zoomX && !zoomY) return;

    Qt::Orientations orientations;
    if (zoomX) orientations |= Qt::Horizontal;
    if (zoomY) orientations |= Qt::Vertical;

    QCPAxisRect* rect = axisRect(0);
    const Qt::Orientations saved = rect->rangeZoom();
    rect->setRangeZoom(orientations);
    updateTracerPlot(pos);
    QCustomPlot::wheelEvent(event);
    rect->setRangeZoom(saved);
}

// A window being laid out resizes the plot several times before its first paint; replot
// once, when the size has settled, instead of rebuilding the paint buffers every time.
void VekCustomPlot::resizeEvent(QResizeEvent* event)
{
    Q_UNUSED(event)
    setViewport(rect());
    replot(rpQueuedReplot);
}

void VekCustomPlot::paintEvent(QPaintEvent* event)
{
    // Never paint stale buffers: a replot still queued is done now.
    if (mReplotQueued) replot(rpQueuedRefresh);
    QCustomPlot::paintEvent(event);
}
