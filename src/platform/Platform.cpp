#include "Platform.h"

#include "QtBeeper.h"
#include "QtCommonDialogs.h"
#include "QtFileLayer.h"
#include "QtHelpViewer.h"
#include "QtMessageBoxes.h"
#include "QtShellOpen.h"
#include "QtTextPrinter.h"
#include "SystemRegionalSettings.h"

#include <QPrinter>

Platform Platform::qt()
{
    // One printer for the dialog and the output, so the settings chosen in
    // the printer dialog apply to what is printed.
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    Platform p;
    p.messageBoxes = std::make_shared<QtMessageBoxes>();
    p.beeper = std::make_shared<QtBeeper>();
    p.dialogs = std::make_shared<QtCommonDialogs>(printer);
    p.printer = std::make_shared<QtTextPrinter>(printer);
    p.help = std::make_shared<QtHelpViewer>();
    p.shell = std::make_shared<QtShellOpen>();
    p.regional = std::make_shared<SystemRegionalSettings>();
    p.files = std::make_shared<QtFileLayer>();
    return p;
}
