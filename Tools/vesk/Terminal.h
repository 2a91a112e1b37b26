#pragma once
// What the tool shows while it waits: a line on standard error that says what runs and for how long,
// only when standard error is a terminal.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace VeskTool {

// True when standard error is a terminal (not a file or a pipe).
bool StandardErrorIsTerminal();

// From half a second after its construction until its destruction, rewrites one line of standard
// error ten times a second with label, a spinner and the seconds passed; erases the line at the end.
// Does nothing when standard error is no terminal. Owner thread only (its own thread only draws).
class ActivityIndicator {
public:
    explicit ActivityIndicator(std::string label);
    ~ActivityIndicator();
    ActivityIndicator(const ActivityIndicator&) = delete;
    ActivityIndicator& operator=(const ActivityIndicator&) = delete;

private:
    void Draw();

    std::string label_;
    std::chrono::steady_clock::time_point started_;
    std::mutex mutex_;  // guards done_
    std::condition_variable wake_;
    bool done_ = false;
    bool drawn_ = false;  // touched by the drawing thread only, read after it joined
    std::thread thread_;
};

}  // namespace VeskTool
