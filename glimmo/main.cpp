// Glimmo, the picture and movie viewer. One optional argument: a folder or a file to show,
// which Trawlix passes with a leading double quote.
#include "glimmo/viewfrm.h"
#include "platform/gui/app.h"

#include <memory>

int main(int argc, char **argv)
{
    platform::TApplication app(argc, argv, QStringLiteral("@Glimmo"));
    std::unique_ptr<glimmo::TViewFrm> viewFrm;
    try {
        viewFrm = std::make_unique<glimmo::TViewFrm>(app.arguments().mid(1));
        viewFrm->show();
    } catch (...) {
        platform::ReportEscapedException(std::current_exception(), platform::CurrentReporter(), app.Title());
        return 1;
    }
    return app.exec();
}
