#include "HostDialogs.h"

#include <cstring>

#include "TerminalDialog.h"

HostDialogs::HostDialogs(std::optional<std::string> answer) : answer_(std::move(answer)) {
  qmWinDialogs_SetHandlers(&HostDialogs::OpenFile, &HostDialogs::Message, this);
}

HostDialogs::~HostDialogs() { qmWinDialogs_SetHandlers(nullptr, nullptr, nullptr); }

int HostDialogs::OpenFile(const OPENFILENAMEA* ofn, char* path, DWORD capacity, void* context) {
  auto* self = static_cast<HostDialogs*>(context);
  const std::string chosen = self->answer_ ? *self->answer_ : AskForFile(*ofn);
  if (chosen.empty()) return 0;
  // The plug-in's buffer is the limit, as in the Windows dialog, which
  // returns 0 for a path that does not fit.
  if (chosen.size() >= capacity || chosen.size() >= ofn->nMaxFile) {
    self->tooLong_ = true;
    return 0;
  }
  std::memcpy(path, chosen.c_str(), chosen.size() + 1);
  self->chosen_ = chosen;
  return 1;
}

void HostDialogs::Message(const char* text, const char*, UINT, void* context) {
  static_cast<HostDialogs*>(context)->messages_.emplace_back(text != nullptr ? text : "");
}
