#pragma once

#include "CountingBeeper.h"
#include "FixedRegionalSettings.h"
#include "Platform.h"
#include "RecordingHelpViewer.h"
#include "RecordingPrinter.h"
#include "RecordingShellOpen.h"
#include "ScriptedDialogs.h"
#include "ScriptedFileLayer.h"
#include "ScriptedMessageBoxes.h"

#include <memory>

// The scripted doubles of every desktop service, kept by the test so it can
// script answers and read what was asked.
struct PlatformDoubles
{
    std::shared_ptr<ScriptedMessageBoxes> messageBoxes = std::make_shared<ScriptedMessageBoxes>();
    std::shared_ptr<CountingBeeper> beeper = std::make_shared<CountingBeeper>();
    std::shared_ptr<ScriptedDialogs> dialogs = std::make_shared<ScriptedDialogs>();
    std::shared_ptr<RecordingPrinter> printer = std::make_shared<RecordingPrinter>();
    std::shared_ptr<RecordingHelpViewer> help = std::make_shared<RecordingHelpViewer>();
    std::shared_ptr<RecordingShellOpen> shell = std::make_shared<RecordingShellOpen>();
    std::shared_ptr<FixedRegionalSettings> regional = std::make_shared<FixedRegionalSettings>();
    std::shared_ptr<ScriptedFileLayer> files = std::make_shared<ScriptedFileLayer>();
};

// The bundle the windows take, built from the test's doubles.
inline Platform scriptedPlatform(const PlatformDoubles &d)
{
    Platform p;
    p.messageBoxes = d.messageBoxes;
    p.beeper = d.beeper;
    p.dialogs = d.dialogs;
    p.printer = d.printer;
    p.help = d.help;
    p.shell = d.shell;
    p.regional = d.regional;
    p.files = d.files;
    return p;
}
