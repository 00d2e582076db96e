// Log lines stamped but not yet in the pane, appended to it in batches: each line with the
// separator before it, and where each starts.
//
// A logged frame's line takes its place when the frame is handed to the adapter and gets its
// text once the adapter has answered. Lines that come meanwhile, the drive's reply among
// them, wait behind it, so a reply is never logged before its request however long the
// adapter takes to return, and the reply itself is applied at once.
#pragma once

#include <QList>
#include <QString>

class PendingLog {
public:
    // The pane shows at most this many lines (0: no bound). Lines that wait behind an
    // awaited line beyond it would be pushed out as they go in: the oldest are let go early,
    // so an adapter that never returns does not hold the bus's lines without end.
    void setLineLimit(qsizetype lines) { limit_ = lines; }

    // stamp: the line's time stamp with its blank.
    void append(const QString& stamp, const QString& text)
    {
        if (!open_) {
            add(text_, starts_, stamp, text);
            return;
        }
        add(held_, heldStarts_, stamp, text);
        // Trimmed in batches of the limit, so each line is moved once on average.
        if (limit_ > 0 && heldStarts_.size() >= 2 * limit_) {
            const qsizetype drop = heldStarts_.size() - limit_;
            const qsizetype cut = heldStarts_[drop];
            held_.remove(0, cut);
            heldStarts_.remove(0, drop);
            for (qsizetype& start : heldStarts_) start -= cut;
        }
    }

    // Sends are one at a time, so a second opening before the first is closed never comes;
    // were it to, the first keeps its place.
    void openSendLine(const QString& stamp)
    {
        if (open_) return;
        open_ = true;
        dropped_ = false;
        openStamp_ = stamp;
    }

    // The awaited line's text (none when empty), then the lines that waited behind it. With
    // no line awaited, the text is an ordinary line.
    void closeSendLine(const QString& stamp, const QString& text)
    {
        if (!open_) {
            if (!text.isEmpty()) add(text_, starts_, stamp, text);
            return;
        }
        open_ = false;
        if (!dropped_ && !text.isEmpty()) add(text_, starts_, openStamp_, text);
        const qsizetype base = text_.size();
        text_ += held_;
        for (qsizetype start : heldStarts_) starts_.append(base + start);
        held_.resize(0);
        heldStarts_.resize(0);
    }

    // Forgets every line not yet in the pane; the awaited line, which belongs before them,
    // is dropped when it comes.
    void clear()
    {
        text_.clear();
        starts_.clear();
        held_.clear();
        heldStarts_.clear();
        dropped_ = open_;
    }

    // The lines ready for the pane.
    const QString& text() const { return text_; }
    const QList<qsizetype>& starts() const { return starts_; }
    bool isEmpty() const { return starts_.isEmpty(); }
    // Empties the ready lines once in the pane, keeping the space for the next batch.
    void taken()
    {
        text_.resize(0);
        starts_.resize(0);
    }

    bool awaitingSendLine() const { return open_; }

private:
    static void add(QString& to, QList<qsizetype>& starts, const QString& stamp, const QString& text)
    {
        starts.append(to.size());
        to += QLatin1Char('\n');
        to += stamp;
        to += text;
    }

    QString text_;
    QList<qsizetype> starts_;
    qsizetype limit_ = 0;
    bool open_ = false;
    bool dropped_ = false;   // the pane was cleared while the line was awaited
    QString openStamp_;
    QString held_;
    QList<qsizetype> heldStarts_;
};
