#pragma once
// Where recordings in progress live: $XDG_RUNTIME_DIR/ovra (private to the user, in memory,
// emptied at logout), else the data folder. Owner-only, like everything of ours.
#include "store/Expected.h"

#include <QString>

namespace RecordingFolder {

QString inProgress();
// Creates the folder owner-only (0700), tightening it when it exists; error: the message.
Expected<void, QString> ensure(const QString& folder);

} // namespace RecordingFolder
