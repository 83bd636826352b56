#include "host/commands/progress.h"

#include <cstdio>
#include <unistd.h>

ProgressBar::ProgressBar(std::string label, uint64_t total, bool wanted)
    : label_(std::move(label)), total_(total ? total : 1), shown_(wanted && isatty(STDERR_FILENO)) {
}

ProgressBar::~ProgressBar() {
  Finish();
}

void ProgressBar::Update(uint64_t done) {
  if (!shown_)
    return;
  int permille = static_cast<int>(std::min<uint64_t>(done, total_) * 1000 / total_);
  auto now = std::chrono::steady_clock::now();
  if (permille == lastPermille_ ||
      (permille < 1000 && now - lastDraw_ < std::chrono::milliseconds(100)))
    return;
  lastPermille_ = permille;
  lastDraw_ = now;
  constexpr int kWidth = 40;
  int filled = permille * kWidth / 1000;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kWidth - filled), '.');
  std::fprintf(stderr, "\r%s [%s] %3d%%", label_.c_str(), bar.c_str(), permille / 10);
  std::fflush(stderr);
}

void ProgressBar::Finish() {
  if (!shown_)
    return;
  Update(total_);
  std::fprintf(stderr, "\n");
  shown_ = false;
}
