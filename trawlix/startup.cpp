#include "trawlix/startup.h"

#include "platform/gui/app.h"
#include "platform/shell.h"
#include "trawlix/zindle.h"

#include <memory>

namespace trawlix {

bool IsNormalStart(const QString &firstArgument)
{
    return firstArgument == QLatin1String("updateok") || firstArgument == QLatin1String("ie");
}

bool WantsBrowserImport(const QStringList &arguments)
{
    return !arguments.isEmpty() && arguments.first().contains(QLatin1String("ie"));
}

int ProgramEntry(int argc, char **argv)
{
    const QString first = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (!IsNormalStart(first)) {
        // The updater comes first; when it is missing the start fails silently and we end
        // all the same.
        (void)platform::StartSibling(QStringLiteral("renovo"), {});
        return 0;
    }

    platform::TApplication app(argc, argv, QString::fromLatin1(kProductName));
    std::unique_ptr<TForm1> form1;
    try {
        form1 = std::make_unique<TForm1>(app.arguments().mid(1));
        form1->show();
    } catch (...) {
        platform::ReportEscapedException(std::current_exception(), platform::CurrentReporter(), app.Title());
        return 1;
    }
    return app.exec();
}

} // namespace trawlix
