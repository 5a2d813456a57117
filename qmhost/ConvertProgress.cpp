#include "ConvertProgress.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

#include "ShownText.h"

ConvertProgress::ConvertProgress(std::ostream& err, bool terminal, int width, std::size_t total)
    : err_(err),
      terminal_(terminal),
      width_(std::max(width, 40)),
      total_(total),
      start_(std::chrono::steady_clock::now()) {}

void ConvertProgress::Say(const std::string& lines) {
  if (lines.empty()) return;
  if (terminal_) ClearBar();
  err_ << lines << std::flush;
}

void ConvertProgress::Start(const std::string& file) {
  current_ = ShownPath(file);
  if (terminal_) DrawBar();
}

void ConvertProgress::Done(const std::string& lines) {
  ++done_;
  Say(lines);
  if (terminal_) DrawBar();
}

void ConvertProgress::Finish() {
  if (terminal_) ClearBar();
  err_ << std::flush;
}

void ConvertProgress::ClearBar() { err_ << "\r\033[K"; }

// "[#######.............]  12/1000  35.2 files/s  ship_0012.msh", cut to the
// terminal's width so that it never wraps onto a second line.
void ConvertProgress::DrawBar() {
  constexpr int kBarWidth = 20;
  const int filled = total_ == 0 ? kBarWidth : static_cast<int>(kBarWidth * done_ / total_);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  char rate[32];
  if (done_ == 0 || seconds <= 0)
    std::snprintf(rate, sizeof rate, "-- files/s");
  else
    std::snprintf(rate, sizeof rate, "%.1f files/s", static_cast<double>(done_) / seconds);

  std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                    std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " +
                    std::to_string(done_) + "/" + std::to_string(total_) + "  " + rate;
  if (done_ < total_) bar += "  " + current_;
  const std::size_t room = static_cast<std::size_t>(width_ - 1);
  if (bar.size() > room) {
    // Cut between characters, never inside one's UTF-8 bytes.
    std::size_t cut = room - 3;
    while (cut > 0 && (static_cast<unsigned char>(bar[cut]) & 0xC0) == 0x80) --cut;
    bar = bar.substr(0, cut) + "...";
  }
  ClearBar();
  err_ << bar << std::flush;
}
