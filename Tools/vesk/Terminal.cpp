#include "Terminal.h"

#include <cstdio>

namespace VeskTool {

ActivityIndicator::ActivityIndicator(std::string label)
    : label_(std::move(label)), started_(std::chrono::steady_clock::now()) {
    if (StandardErrorIsTerminal()) {
        thread_ = std::thread([this] { Draw(); });
    }
}

ActivityIndicator::~ActivityIndicator() {
    if (!thread_.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
    }
    wake_.notify_all();
    thread_.join();
    if (drawn_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
}

void ActivityIndicator::Draw() {
    static const char kSpinner[] = {'|', '/', '-', '\\'};
    std::unique_lock<std::mutex> lock(mutex_);
    if (wake_.wait_for(lock, std::chrono::milliseconds(500), [this] { return done_; })) {
        return;
    }
    for (unsigned frame = 0; !done_; ++frame) {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
        std::fprintf(stderr, "\r%s %c %.1f s", label_.c_str(), kSpinner[frame % 4], seconds);
        std::fflush(stderr);
        drawn_ = true;
        wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return done_; });
    }
}

}  // namespace VeskTool
