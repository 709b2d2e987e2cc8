#pragma once
// Where Ovra keeps its files, after the XDG base directories.
#include <QString>

namespace AppPaths {
// $XDG_DATA_HOME/ovra: record store, journal, queue, models, recordings.
QString dataFolder();
// $XDG_CONFIG_HOME/ovra: the settings domains.
QString configFolder();
QString storeFile();
} // namespace AppPaths
