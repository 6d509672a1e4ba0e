#include "agent/notify/Mail602.h"

#include <cstring>

#include "agent/nls/Nls.h"
#include "agent/nls/TextIds.h"
#include "agent/pbx/Data.h"

namespace varno {
namespace {

constexpr int kEventReload = AQ5_EVENT_RELOAD;
constexpr uint32_t kStoppedWaiting = AQ5_MSG_SEEN | AQ5_MSG_GONE;
// A list from the library is walked at most this far, so that a broken
// list can never hold the agent in a loop.
constexpr int kMaxRecords = 1 << 22;

// A zero-terminated text field of a record, read no further than its size.
std::string_view field(const char* text, size_t size) { return {text, strnlen(text, size)}; }

QString initProblem(int result)
{
    switch (result) {
    case AQ5_INIT_CONFIG_UNREADABLE: return QStringLiteral("the configuration file cannot be read");
    case AQ5_INIT_MAILDIR_MISSING: return QStringLiteral("a mailbox lacks Maildir=");
    case AQ5_INIT_USER_DIFFERS: return QStringLiteral("the user differs from the configuration");
    case AQ5_INIT_PASSWORD_WRONG: return QStringLiteral("the password does not verify");
    case AQ5_INIT_SPOOL_UNUSABLE: return QStringLiteral("no spool in the working directory");
    case AQ5_INIT_ALREADY: return QStringLiteral("initialised already");
    default: return QStringLiteral("error %1").arg(result);
    }
}

}  // namespace

void TMail602::TCounts::Add(char letter, int n)
{
    if (letter == 'F')
        Fax += n;
    else if (letter == 'H')
        Voice += n;
    else
        Sms += n;
}

TMail602::TMail602(const TAgentContext& context, TNLS& nls, TData& data, const QString& programDir, QObject* parent)
    : QObject(parent), context_(context), nls_(nls), data_(data)
{
    library_ = std::make_unique<TGatewayLibrary>(programDir);
    if (library_->Complete()) {
        ReloadAll = true;
        MessageList.clear();
        GatewayActive = true;
    }
}

TMail602::~TMail602()
{
    MessageList.clear();
    library_.reset();
}

QString TMail602::Problem() const
{
    if (!library_->Complete())
        return QStringLiteral("Mail gateway off: %1 not loaded (%2)")
            .arg(QLatin1String(TGatewayLibrary::LibraryName), library_->Problem);
    if (initResult_ != 0)
        return QStringLiteral("Mail gateway off: %1 (%2)").arg(initProblem(initResult_), ConfigPath);
    return {};
}

void TMail602::StartGateway()
{
    if (!GatewayActive)
        return;
    library_->SetDebugLevel(DebugLevel);
    initResult_ = library_->InicializaceQ5Komunikace(ConfigPath.toUtf8().constData(), UserName.toUtf8().constData(),
                                                     WorkDir.toUtf8().constData(), Password.toUtf8().constData());
    if (initResult_ != 0)
        GatewayActive = false;
}

void TMail602::StopGateway()
{
    if (GatewayActive)
        library_->DeInicializaceQ5Komunikace();
}

void TMail602::AbortGateway()
{
    if (library_->ZastavAkci)
        library_->ZastavAkci();
}

bool TMail602::CheckMailboxes()
{
    if (!GatewayActive)
        return false;
    const int mode = ReloadAll ? AQ5_MODE_ALL : AQ5_MODE_CHANGES;
    if (mode == AQ5_MODE_CHANGES && library_->RychlyTestZmenVeSchrankach() == 0)
        return false;

    const QString reReadText = nls_.GetBlockText(BlockTxt::MailboxReRead);
    const QString failedText = nls_.GetBlockText(BlockTxt::MailboxNotReRead);
    const QString readFailedText = nls_.GetBlockText(BlockTxt::MailboxesNotRead);

    AQ5_Params params{};
    params.Mode = mode;
    AQ5_Mailbox* first = nullptr;
    const int result = library_->NactiZmenyVeSchrankach(&first, &params);
    if (result != 0) {
        context_.LogLine(QStringLiteral("!Err"), readFailedText + QString::number(result));
        ReloadAll = true;
        return true;
    }
    if (mode == AQ5_MODE_ALL) {
        data_.ClearCounters();
        MessageList.clear();  // a full read counts every message afresh
    }
    int walked = 0;
    for (AQ5_Mailbox* r = first; r && walked < kMaxRecords; r = r->Next, ++walked)
        HandleMailbox(r, params, mode, reReadText, failedText);
    library_->PotvrdPreneseniZmenVeSchrankach(&first);
    ReloadAll = false;
    return true;
}

void TMail602::HandleMailbox(AQ5_Mailbox* record, AQ5_Params& params, int mode, const QString& reReadText,
                             const QString& failedText)
{
    const bool extent = context_.Config.Log.Extent;
    const bool reload = record->Event == kEventReload;
    AQ5_Mailbox* current = record;
    int result = 0;
    if (reload) {
        if (extent)
            context_.LogLine(QStringLiteral("!Err"), reReadText);
        params.Mode = AQ5_MODE_ALL;
        result = library_->NactiZmenyVeSchrance(&current, &params, record);
    }
    if (!current || result != 0) {
        // Without a fresh record there is no number to update: no line changes.
        context_.LogLine(QStringLiteral("!Err"), failedText + QString::number(result));
    } else {
        const TCounts counts = CountFolders(*current, params.Mode);
        const std::string_view owner = field(current->Owner, sizeof current->Owner);
        const std::string_view number = field(current->Phone, sizeof current->Phone);
        if (extent) {
            context_.LogLine(QStringLiteral("Name:") + QString::fromUtf8(owner.data(), qsizetype(owner.size())),
                             QStringLiteral("Tel:%1 sms:%2,fax:%3,hlas:%4")
                                 .arg(QString::fromUtf8(number.data(), qsizetype(number.size())))
                                 .arg(counts.Sms)
                                 .arg(counts.Fax)
                                 .arg(counts.Voice));
        }
        if (mode == AQ5_MODE_ALL || reload)
            data_.SetCounters(number, counts.Sms, counts.Fax, counts.Voice, 0);
        else
            data_.AddCounters(number, counts.Sms, counts.Fax, counts.Voice, 0);
    }
    if (reload) {
        library_->PotvrdPreneseniZmenVeSchrance(&current);
        params.Mode = mode;
    }
}

TMail602::TCounts TMail602::CountFolders(const AQ5_Mailbox& mailbox, int mode)
{
    TCounts counts;
    int walked = 0;
    for (const AQ5_Folder* f = mailbox.First; f && walked < kMaxRecords; f = f->Next, ++walked) {
        const char letter = f->Category;
        if (mode == AQ5_MODE_ALL) {
            // A full read gives the folder's number; its messages are
            // remembered so that later changes can be taken away.
            counts.Add(letter, f->Count);
            for (const AQ5_Message* m = f->First; m && walked < kMaxRecords; m = m->Next, ++walked) {
                const uint32_t id = m->Id;  // by value: the records are packed
                if (!MessageList.contains(id))
                    MessageList.insert(id, letter);
            }
            continue;
        }
        // A change read: each message counts under its own category, a
        // message that stopped waiting under the one it was counted in.
        for (const AQ5_Message* m = f->First; m && walked < kMaxRecords; m = m->Next, ++walked) {
            const uint32_t id = m->Id;
            if (m->Flags & kStoppedWaiting) {
                const auto it = MessageList.constFind(id);
                if (it == MessageList.cend())
                    continue;  // never counted: nothing to take away
                counts.Add(it.value(), -1);
                MessageList.erase(it);
            } else if (!MessageList.contains(id)) {
                counts.Add(letter, 1);
                MessageList.insert(id, letter);
            }
        }
    }
    return counts;
}

void TMail602::ForwardMessage(const QByteArray& address, char type, const QByteArray& subject, const QByteArray& text,
                              char flag)
{
    if (!GatewayActive)
        return;
    const int result =
        library_->PosliStavovouZpravu(address.constData(), type, subject.constData(), text.constData(), flag);
    if (result != 0) {
        // The slot is cleared all the same: say what was not sent.
        context_.LogLine(QStringLiteral("!Err"), QStringLiteral("Mail not taken over (error %1): %2 to %3")
                                                     .arg(result)
                                                     .arg(QString::fromUtf8(subject), QString::fromUtf8(address)));
    }
}

}  // namespace varno
