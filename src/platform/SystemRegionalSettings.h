#pragma once

#include "LocaleRegionalSettings.h"

// The user's own settings, read once when the program starts.
class SystemRegionalSettings : public LocaleRegionalSettings
{
public:
    SystemRegionalSettings();
};
