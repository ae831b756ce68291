#pragma once

#include "Beeper.h"
#include "CommonDialogs.h"
#include "FileLayer.h"
#include "HelpViewer.h"
#include "MessageBoxes.h"
#include "RegionalSettings.h"
#include "ShellOpen.h"
#include "TextPrinter.h"

#include <memory>

// Everything the windows ask of the desktop, in one bundle handed to them at
// construction. `Platform::qt()` gives the real services; tests build their
// own from scripted doubles.
struct Platform
{
    std::shared_ptr<MessageBoxes> messageBoxes;
    std::shared_ptr<Beeper> beeper;
    std::shared_ptr<CommonDialogs> dialogs;
    std::shared_ptr<TextPrinter> printer;
    std::shared_ptr<HelpViewer> help;
    std::shared_ptr<ShellOpen> shell;
    std::shared_ptr<RegionalSettings> regional;
    std::shared_ptr<FileLayer> files;

    static Platform qt();
};
