#pragma once

#include "viewer/SPIs.h"

#include <QStringList>

// The plug-in folder the user named: SUSIE_PLUGIN_PATH, else Path in [Plug-in] of susie.ini in the
// configuration folder; empty when neither names one.
QString SusiePluginFolder();

// The folders a search looks in for Options, in search order; folders that cannot be had are left out.
QStringList SPISearchFolders(TSPISearchOptions Options);
