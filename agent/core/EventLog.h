#pragma once
#include <QAbstractListModel>
#include <QByteArray>
#include <QString>
#include <QTimer>
#include <cstdio>
#include <deque>

namespace varno {

// The event log and the status line. The log keeps the newest MaxLines
// lines in memory; a window shows it through this model, and a headless
// agent also writes every line to a stream (standard error).
class TEventLog : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int MaxLines = 500;

    explicit TEventLog(QObject* parent = nullptr);
    ~TEventLog() override { FlushEcho(); }

    // Status line first, then the time-stamped entry.
    void LogLine(const QString& tag, const QString& text);
    // Status line: tag, five blanks, text.
    void ShowStatus(const QString& tag, const QString& text);
    // Status line with a text of its own, no tag.
    void SetStatusText(const QString& text);
    const QString& StatusText() const { return status_; }

    int Count() const { return static_cast<int>(lines_.size()); }
    const QString& Line(int index) const { return lines_.at(static_cast<size_t>(index)); }
    // The selected line, -1 for none.
    int Selected() const { return selected_; }
    // The user's selection; an index outside the list selects nothing.
    void Select(int index);
    void Clear();

    // Every new line is also written to this stream (nullptr: nowhere). The
    // lines are gathered and written out when the event loop next runs
    // timers, at most EchoDelayMs after the first of them, so that heavy
    // traffic costs one write per batch rather than one per line.
    void SetEcho(std::FILE* stream);
    void FlushEcho();
    static constexpr int EchoDelayMs = 50;

    // "hh:mm:ss.t" for a date-time value.
    static QString TimeText(double dateTime);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

signals:
    void statusChanged(const QString& text);
    // Every new entry, as tag and text.
    void logged(const QString& tag, const QString& text);
    void selectionChanged(int index);

private:
    std::deque<QString> lines_;
    int selected_ = -1;
    QString status_;
    std::FILE* echo_ = nullptr;
    QByteArray echoBuffer_;
    QTimer* echoTimer_ = nullptr;
};

}  // namespace varno
