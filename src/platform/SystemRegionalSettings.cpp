#include "SystemRegionalSettings.h"

SystemRegionalSettings::SystemRegionalSettings() : LocaleRegionalSettings(QLocale::system()) {}
