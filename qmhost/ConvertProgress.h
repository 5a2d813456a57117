// Progress of a batch on standard error: on a terminal a bar redrawn in place
// (files done, the current file, the rate), with what is said about the files
// printed above it; elsewhere only what is said.
#ifndef QMHOST_CONVERTPROGRESS_H
#define QMHOST_CONVERTPROGRESS_H

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <string>

class ConvertProgress {
 public:
  // `width` is the terminal's width in columns; ignored off a terminal.
  ConvertProgress(std::ostream& err, bool terminal, int width, std::size_t total);

  // Prints `lines` (each with its end) above the bar.
  void Say(const std::string& lines);
  void Start(const std::string& file);
  // The file just started is done; `lines` are what is said about it, if anything.
  void Done(const std::string& lines);
  // Clears the bar, leaving the terminal as it was before the batch.
  void Finish();

 private:
  void DrawBar();
  void ClearBar();

  std::ostream& err_;
  bool terminal_;
  int width_;
  std::size_t total_;
  std::size_t done_ = 0;
  std::string current_;
  std::chrono::steady_clock::time_point start_;
};

#endif  // QMHOST_CONVERTPROGRESS_H
