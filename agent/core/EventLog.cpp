#include "agent/core/EventLog.h"

#include <QCoreApplication>
#include <cmath>

#include "platform/clock/Clock.h"

namespace varno {

TEventLog::TEventLog(QObject* parent) : QAbstractListModel(parent) {}

void TEventLog::SetEcho(std::FILE* stream)
{
    FlushEcho();
    echo_ = stream;
    if (echo_ && !echoTimer_) {
        echoTimer_ = new QTimer(this);
        echoTimer_->setSingleShot(true);
        echoTimer_->setInterval(EchoDelayMs);
        connect(echoTimer_, &QTimer::timeout, this, &TEventLog::FlushEcho);
    }
}

void TEventLog::FlushEcho()
{
    if (!echo_ || echoBuffer_.isEmpty())
        return;
    std::fwrite(echoBuffer_.constData(), 1, static_cast<size_t>(echoBuffer_.size()), echo_);
    std::fflush(echo_);
    echoBuffer_.clear();
}

QString TEventLog::TimeText(double dateTime)
{
    // Milliseconds of the day; the tenths digit is cut, not rounded.
    double dayPart = dateTime - std::floor(dateTime);
    long long ms = std::llround(dayPart * MsPerDay);
    if (ms >= 86400000LL)
        ms = 86400000LL - 1;
    const int h = static_cast<int>(ms / 3600000), m = static_cast<int>(ms / 60000 % 60),
              s = static_cast<int>(ms / 1000 % 60), tenth = static_cast<int>(ms % 1000 / 100);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%d", h, m, s, tenth);
    return QString::fromLatin1(buf);
}

void TEventLog::ShowStatus(const QString& tag, const QString& text)
{
    SetStatusText(tag + QLatin1String("     ") + text);
}

void TEventLog::SetStatusText(const QString& text)
{
    status_ = text;
    emit statusChanged(status_);
}

void TEventLog::LogLine(const QString& tag, const QString& text)
{
    ShowStatus(tag, text);
    QString line = TimeText(Now());
    line.reserve(line.size() + 3 + tag.size() + text.size());
    line += QLatin1String("  ");
    line += tag;
    line += QLatin1Char(' ');
    line += text;

    // An empty list without selection counts as being on its last line; a
    // non-empty list without selection does not.
    const bool onLast = selected_ == Count() - 1;

    const int row = Count();
    beginInsertRows(QModelIndex(), row, row);
    lines_.push_back(line);
    endInsertRows();
    if (echo_) {
        echoBuffer_ += line.toUtf8();
        echoBuffer_ += '\n';
        // Without a running event loop (start-up, shutdown) or with much
        // gathered, the lines go out at once.
        if (echoBuffer_.size() > 65536 || !echoTimer_ || !QCoreApplication::instance())
            FlushEcho();
        else if (!echoTimer_->isActive())
            echoTimer_->start();
    }
    if (onLast) {
        selected_ = Count() - 1;
        emit selectionChanged(selected_);
    }

    if (Count() > MaxLines) {
        const int remembered = selected_;
        beginRemoveRows(QModelIndex(), 0, 0);
        lines_.pop_front();
        endRemoveRows();
        selected_ = remembered < 0 ? -1 : remembered - 1;
        emit selectionChanged(selected_);
    }
    emit logged(tag, text);
}

void TEventLog::Select(int index)
{
    selected_ = (index >= 0 && index < Count()) ? index : -1;
    emit selectionChanged(selected_);
}

void TEventLog::Clear()
{
    beginResetModel();
    lines_.clear();
    endResetModel();
    selected_ = -1;
    emit selectionChanged(selected_);
}

int TEventLog::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Count(); }

QVariant TEventLog::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= Count())
        return {};
    return Line(index.row());
}

}  // namespace varno
