// The process-wide log: every subsystem reports what it does and why it
// failed here. Where a message goes depends on its level and the log mode.
// Messages may come from several threads at once (parallel conversions):
// each message reaches the file, the pane and the observer whole, one after
// the other. Set the file name, pane and observer before such threads start.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace zepcon {

enum LogLevel : int {
  LOG_DETAIL = 21,  // progress details
  LOG_MAJOR = 22,   // headlines: start and end of loads and saves
  LOG_ERROR = 23,   // errors and warnings
};

// The log pane: whatever front end shows the log implements this. The text
// handed over already has its line ends as the pane wants them ("\r\n").
class LogPane {
 public:
  virtual ~LogPane() = default;
  virtual void AppendText(std::string_view text) = 0;
  virtual void Clear() = 0;
};

// Writes the text verbatim (never used as a format) to the targets that the
// mode chooses for the level. Logging never fails the caller.
void LogMessage(std::string_view text, int level);

// printf-style convenience for callers: formats into a 512-byte scratch
// buffer (truncating, never overflowing) and logs the result.
void LogFormatted(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

void SetLogMode(uint32_t mode);  // 0..3 taken, anything else ignored
uint32_t GetLogMode();
void SetLogPane(LogPane* pane);  // nullptr: no pane
void SetLogFileName(const char* name);
const char* GetLogFileName();
void ClearLogPane();

// Test and front-end hook: sees every message before the mode filters it.
using LogObserver = std::function<void(std::string_view text, int level)>;
void SetLogObserver(LogObserver observer);

// Like SetLogObserver, but sees only the messages logged by the calling
// thread, so that each worker of a parallel run can gather what its own
// conversion reported. Runs outside the log's lock.
void SetThreadLogObserver(LogObserver observer);

// Whether the current mode sends a message of this level to the pane.
bool LogReachesPane(int level);

}  // namespace zepcon
