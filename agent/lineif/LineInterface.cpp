#include "agent/lineif/LineInterface.h"

#include <cerrno>
#include <cstring>

#include "agent/core/Conversation.h"
#include "agent/lineif/DialPrefix.h"
#include "agent/lineif/Qlin.h"
#include "agent/lineif/QlinEndpoint.h"
#include "agent/pbx/Data.h"

namespace varno {
namespace {

const QString kTag = QStringLiteral("QLIN");
// Ignored datagrams are reported at most this often.
constexpr qint64 kIgnoredReportMs = 60000;

static_assert(sizeof(varno::TStates) == sizeof(::TStates), "the agent's record is the library's");
static_assert(QLIN_SLOT_COUNT == TLineInterface::SlotCount &&
              QLIN_DIAL_DIGITS_MAX == TLineInterface::MaxDialCharacters);

::TStates* libraryRecord(varno::TStates* record) { return reinterpret_cast<::TStates*>(record); }
const ::TStates* libraryRecord(const varno::TStates* record) { return reinterpret_cast<const ::TStates*>(record); }

// The log text and the key argument of commands 0 to 3.
struct KeyCommand {
    const char* Text;
    int Argument;
};
constexpr KeyCommand kKeyCommands[] = {
    {"Message SPEAKER (ON/OFF)", 240},
    {"Message MIC (ON/OFF)", 241},
    {"Message VOLUME UP", 242},
    {"Message VOLUME DOWN", 243},
};
constexpr int kDialCommand = 4;

}  // namespace

TLineInterface::TLineInterface(const TAgentContext& context, TConversation& conversation, TData& model)
    : context_(context), conversation_(conversation), model_(model)
{
}

TLineInterface::~TLineInterface() { Stop(); }

void TLineInterface::LogLine(const QString& text) const { context_.LogLine(kTag, text); }

bool TLineInterface::Start(const QString& programDir, uint32_t handle)
{
    Stop();
    qlin_ = std::make_unique<TQLIN>(programDir);
    if (!qlin_->Loaded) {
        LogLine(QStringLiteral("Line interface off: %1 not loaded (%2)")
                    .arg(QLatin1String(TQLIN::LibraryName), qlin_->Problem));
        qlin_.reset();
        return false;
    }
    LogLine(QStringLiteral("Start"));
    // Bound before QLIN_Init announces it, so that no notification is lost.
    endpoint_ = std::make_unique<TQlinEndpoint>();
    QString error;
    if (endpoint_->Bind(handle, AgentMessage, &error)) {
        connect(endpoint_.get(), &TQlinEndpoint::commandNotified, this, &TLineInterface::HandleQlinMessage);
        connect(endpoint_.get(), &TQlinEndpoint::showRequested, this, &TLineInterface::showRequested);
        connect(endpoint_.get(), &TQlinEndpoint::datagramIgnored, this, &TLineInterface::ReportIgnored);
    } else {
        // Line states still reach the clients; only their commands cannot.
        LogLine(QStringLiteral("Endpoint not bound, commands cannot arrive: %1").arg(error));
    }
    qlin_->QLIN_Init(handle, AgentMessage);
    LogLine(QStringLiteral("Init"));
    bound_ = true;
    return true;
}

void TLineInterface::Stop()
{
    if (bound_ && qlin_)
        qlin_->QLIN_DeInit();
    bound_ = false;
    endpoint_.reset();
    qlin_.reset();
    retries_.fill(0);
}

QString TLineInterface::EndpointName() const { return endpoint_ ? endpoint_->Name() : QString(); }

void TLineInterface::HandleQlinMessage(int slot)
{
    if (!bound_ || !context_.Config.QLIN || slot < 0 || slot >= SlotCount)
        return;
    // Commands of a slot are taken in the order they were put.
    if (retries_[static_cast<size_t>(slot)] > 0 || !TakeCommand(slot))
        ++retries_[static_cast<size_t>(slot)];
}

void TLineInterface::RetryCommands()
{
    if (!bound_)
        return;
    for (size_t slot = 0; slot < retries_.size(); ++slot) {
        while (retries_[slot] > 0 && TakeCommand(static_cast<int>(slot)))
            --retries_[slot];
    }
}

bool TLineInterface::TakeCommand(int slot)
{
    TStates command{};
    errno = 0;
    if (!qlin_->QLIN_GetCommand(slot, libraryRecord(&command)))
        return errno != ETIMEDOUT;  // nothing waits, or the lock is busy
    model_.QlinCommand = command;
    QueueCommand(command);
    return true;
}

void TLineInterface::QueueCommand(const TStates& command)
{
    if (command.State >= 0 && command.State < kDialCommand) {
        const KeyCommand& key = kKeyCommands[command.State];
        LogLine(QLatin1String(key.Text));
        QueueKeyRequests(&key.Argument, 1);
        return;
    }
    if (command.State != kDialCommand)
        return;  // not a command of the line interface
    const QByteArray dial(command.Text, static_cast<int>(strnlen(command.Text, MaxDialCharacters)));
    if (dial.isEmpty())
        return;
    const QByteArray translated = ApplyDialPrefix(context_.Config.Prefix, dial).left(MaxDialCharacters);
    TStates& stored = model_.QlinCommand;  // the key requests are built from it
    std::memset(stored.Text, 0, sizeof stored.Text);
    std::memcpy(stored.Text, translated.constData(), static_cast<size_t>(translated.size()));
    LogLine(QStringLiteral("Message VOL ") + QString::fromLatin1(translated));
    // One request per started group of 8 characters, from its 1-based position.
    const int groups = static_cast<int>((translated.size() + DialCharactersPerRequest - 1) / DialCharactersPerRequest);
    int arguments[MaxDialCharacters / DialCharactersPerRequest + 1];
    for (int i = 0; i < groups; ++i)
        arguments[i] = 1 + DialCharactersPerRequest * i;
    QueueKeyRequests(arguments, groups);
}

void TLineInterface::QueueKeyRequests(const int* arguments, int count)
{
    const int waiting = conversation_.RequestQueue().CountKind('#');
    if (waiting + count > MaxWaitingKeyRequests) {
        if (!keyRequestsFull_)
            LogLine(QStringLiteral("Commands dropped: %1 key requests still wait for the line").arg(waiting));
        keyRequestsFull_ = true;
        return;
    }
    keyRequestsFull_ = false;
    // Built now, from QlinCommand as this command left it: a later command
    // cannot change what these send.
    for (int i = 0; i < count; ++i) {
        uint8_t buf[TData::RequestBufferSize];
        const int length = model_.KeyMessage(0, buf, arguments[i]);
        conversation_.QueueRequest('#', arguments[i], buf, length);
    }
}

void TLineInterface::PublishLineName(int index, const char* name)
{
    if (bound_)
        qlin_->QLIN_Line(index, name);
}

void TLineInterface::PublishLineState(const varno::TStates& record)
{
    // A record the library could not take at once counts as an overrun of its clients.
    if (bound_)
        qlin_->QLIN_PutStates(libraryRecord(&record));
}

void TLineInterface::ReportIgnored(const QString& why)
{
    // Anyone on the machine can send to the endpoint: report, but never flood the log.
    ++ignoredDatagrams_;
    if (ignoredReported_.isValid() && ignoredReported_.elapsed() < kIgnoredReportMs)
        return;
    LogLine(QStringLiteral("%1 datagram(s) ignored, not from the line interface (last: %2)")
                .arg(ignoredDatagrams_)
                .arg(why));
    ignoredDatagrams_ = 0;
    ignoredReported_.start();
}

}  // namespace varno
