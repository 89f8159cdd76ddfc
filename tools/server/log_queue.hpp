// The server's log lines on their way to a descriptor (standard error),
// written by a thread of their own: a reader that stalls (a pipe nobody
// drains, a terminal paused with Ctrl-S) stalls that thread, never the
// event loop. What is queued and being written stays within a bound; lines
// beyond it are dropped, and the next line written says how many.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace zv::server {

class LogQueue {
public:
    explicit LogQueue(int descriptor, std::size_t mostBytes = std::size_t{1} << 20);
    // Stop with a second's patience.
    ~LogQueue();
    LogQueue(const LogQueue&) = delete;
    LogQueue& operator=(const LogQueue&) = delete;

    // Starts the writer. False when no thread can be had: Push then writes
    // in the caller's thread, as plain stdio would.
    bool Start();
    // Queues text (whole lines, each with its line end), or counts it as
    // dropped when the bound is reached. Never waits for the reader.
    void Push(std::string text) noexcept;
    // Writes what is queued, waiting at most patience for the reader, and
    // ends the writer; a writer still stuck in the reader's pipe is left to
    // end with the process.
    void Stop(std::chrono::milliseconds patience);

    // Lines dropped so far.
    std::size_t Dropped() const;

private:
    struct State {
        int descriptor;
        std::size_t mostBytes;
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<std::string> queued;
        std::size_t heldBytes = 0;  // queued and being written
        std::size_t dropped = 0;    // since the last report
        std::size_t droppedInAll = 0;
        bool writing = false;
        bool stopping = false;
    };
    static void WriteAll(int descriptor, const std::string& text) noexcept;
    static void Drain(const std::shared_ptr<State>& state);

    // Shared with the writer, which may outlive this object when it is stuck.
    std::shared_ptr<State> state_;
    std::thread writer_;
    bool started_ = false;  // set before any Push, never changed after
};

}  // namespace zv::server
