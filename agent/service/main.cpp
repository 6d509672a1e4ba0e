#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

#include "agent/app/MainForm.h"
#include "agent/core/UserPrompt.h"
#include "agent/service/ProcessRole.h"
#include "agent/service/ServiceEvents.h"
#include "platform/signals/TerminationSignals.h"

using namespace varno;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const TProcessRole role = DecideProcessRole(arguments);
    // The window comes with the user interface; until then every instance
    // runs headless, as it does without a display.
    if (!RunsHeadless(role))
        std::fputs("This build has no window; the agent runs headless.\n", stderr);
    THeadlessPrompt prompt;

    TMainForm form(QCoreApplication::applicationFilePath(), arguments, role, prompt);
    form.Log().SetEcho(stderr);
    QObject::connect(&form, &TMainForm::serviceEvent, [](const QString& text, bool error) {
        ReportServiceEvent(text, error ? TEventType::Error : TEventType::Information);
    });

    // SIGTERM and SIGINT close the agent the way its close command does.
    TerminationSignals termination([&form](int) { form.FormClose(); });
    QObject::connect(&form, &TMainForm::destroyed_, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    // Start-up runs inside the event loop, as the window's creation would.
    QTimer::singleShot(0, &form, [&form]() { form.FormCreate(); });
    const int rc = QCoreApplication::exec();
    form.FormDestroy();
    return rc;
}
