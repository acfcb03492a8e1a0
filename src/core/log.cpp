#include "core/log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace zepcon {
namespace {

struct LogState {
  // One message at a time reaches the file, the pane and the observer.
  std::mutex lock;
  std::atomic<uint32_t> mode{0};
  char file_name[512] = "xx.log";
  LogPane* pane = nullptr;
  LogObserver observer;
};

LogState& State() {
  static LogState state;
  return state;
}

LogObserver& ThreadObserver() {
  thread_local LogObserver observer;
  return observer;
}

struct Targets {
  bool pane;
  bool file;
};

Targets TargetsFor(uint32_t mode, int level) {
  switch (mode) {
    case 1:
      return {level != LOG_DETAIL, level != LOG_DETAIL};
    case 2:
      return {true, level == LOG_ERROR};
    case 3:
      return {true, true};
    default:
      return {false, false};
  }
}

void AppendToFile(const char* path, std::string_view text) {
  // Opened and closed per message so the file is complete even after a crash.
  FILE* file = std::fopen(path, "a");
  if (!file) return;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

std::string WithPaneLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace

void LogMessage(std::string_view text, int level) {
  if (const LogObserver& mine = ThreadObserver()) mine(text, level);
  LogState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  if (state.observer) state.observer(text, level);
  const Targets targets = TargetsFor(state.mode, level);
  if (targets.file) AppendToFile(state.file_name, text);
  if (targets.pane && state.pane) state.pane->AppendText(WithPaneLineEnds(text));
}

void LogFormatted(int level, const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  LogMessage(buffer, level);
}

void SetLogMode(uint32_t mode) {
  if (mode <= 3) State().mode = mode;
}

uint32_t GetLogMode() { return State().mode; }

bool LogReachesPane(int level) { return TargetsFor(State().mode, level).pane; }

void SetLogPane(LogPane* pane) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().pane = pane;
}

void SetLogFileName(const char* name) {
  std::lock_guard<std::mutex> guard(State().lock);
  std::snprintf(State().file_name, sizeof State().file_name, "%s", name ? name : "");
}

const char* GetLogFileName() { return State().file_name; }

void ClearLogPane() {
  std::lock_guard<std::mutex> guard(State().lock);
  if (State().pane) State().pane->Clear();
}

void SetLogObserver(LogObserver observer) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().observer = std::move(observer);
}

void SetThreadLogObserver(LogObserver observer) { ThreadObserver() = std::move(observer); }

}  // namespace zepcon
