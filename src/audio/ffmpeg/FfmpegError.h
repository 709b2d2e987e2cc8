#pragma once
// FFmpeg's error codes as the text shown in our messages.
#include <QString>

namespace FfmpegError {
QString describe(int code);
// FFmpeg prints its own diagnostics on stderr; we report errors ourselves.
void quietLogs();
}
