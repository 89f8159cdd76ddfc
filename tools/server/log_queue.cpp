#include "log_queue.hpp"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace zv::server {
namespace {

// What a queued text costs beyond its characters.
constexpr std::size_t kEntryOverhead = 64;

}  // namespace

LogQueue::LogQueue(int descriptor, std::size_t mostBytes) : state_(std::make_shared<State>()) {
    state_->descriptor = descriptor;
    state_->mostBytes = mostBytes;
}

LogQueue::~LogQueue() { Stop(std::chrono::seconds(1)); }

bool LogQueue::Start() {
    try {
        writer_ = std::thread([state = state_] { Drain(state); });
        started_ = true;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void LogQueue::WriteAll(int descriptor, const std::string& text) noexcept {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = write(descriptor, text.data() + written, text.size() - written);
        if (count > 0) {
            written += static_cast<std::size_t>(count);
        } else if (count < 0 && errno == EAGAIN) {
            pollfd ready{descriptor, POLLOUT, 0};
            poll(&ready, 1, -1);
        } else if (count < 0 && errno != EINTR) {
            return;  // a closed or broken descriptor: nobody to tell
        }
    }
}

void LogQueue::Push(std::string text) noexcept {
    const std::size_t cost = text.size() + kEntryOverhead;
    if (!started_) {
        WriteAll(state_->descriptor, text);
        return;
    }
    try {
        const std::lock_guard lock(state_->mutex);
        if (state_->stopping || state_->heldBytes + cost > state_->mostBytes) {
            ++state_->dropped;
            ++state_->droppedInAll;
            return;
        }
        state_->queued.push_back(std::move(text));
        state_->heldBytes += cost;
    } catch (...) {
        return;  // out of memory for the line: it goes unlogged
    }
    state_->changed.notify_one();
}

void LogQueue::Drain(const std::shared_ptr<State>& state) {
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->changed.wait(
            lock, [&] { return !state->queued.empty() || state->dropped != 0 || state->stopping; });
        if (state->queued.empty() && state->dropped == 0) return;  // stopping, all written
        std::deque<std::string> batch;
        batch.swap(state->queued);
        const std::size_t dropped = std::exchange(state->dropped, 0);
        state->writing = true;
        lock.unlock();
        std::size_t written = 0;
        if (dropped != 0) {
            try {
                WriteAll(state->descriptor, std::to_string(dropped) + " log lines dropped\n");
            } catch (...) {
            }
        }
        for (const std::string& text : batch) {
            WriteAll(state->descriptor, text);
            written += text.size() + kEntryOverhead;
        }
        batch.clear();
        lock.lock();
        state->heldBytes -= written;
        state->writing = false;
        state->changed.notify_all();
    }
}

void LogQueue::Stop(std::chrono::milliseconds patience) {
    if (!writer_.joinable()) return;
    std::unique_lock lock(state_->mutex);
    state_->changed.wait_for(lock, patience, [&] {
        return state_->queued.empty() && state_->dropped == 0 && !state_->writing;
    });
    // Whatever the reader did not take in time is left unwritten.
    state_->queued.clear();
    state_->dropped = 0;
    state_->stopping = true;
    const bool idle = !state_->writing;
    lock.unlock();
    state_->changed.notify_all();
    if (idle) {
        writer_.join();
    } else {
        writer_.detach();  // in the reader's pipe still; the State stays with it
    }
}

std::size_t LogQueue::Dropped() const {
    const std::lock_guard lock(state_->mutex);
    return state_->droppedInAll;
}

}  // namespace zv::server
