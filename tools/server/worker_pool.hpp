// The few threads that do the cryptography and the answers, so that the event
// loop only moves bytes. Jobs run in the order they were posted.
#pragma once

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <cstddef>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zv::server {

class WorkerPool {
public:
    WorkerPool() = default;
    ~WorkerPool() { Stop(); }
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Starts up to count threads and returns how many started: where the
    // system refuses more threads, the pool makes do with fewer, and with
    // none its jobs run on the poster's thread.
    std::size_t Start(std::size_t count);
    // Runs what is queued, then joins the threads.
    void Stop();

    template <typename Job>
    void Post(Job&& job) {
        if (threads_.empty()) {
            job();
        } else {
            asio::post(context_, std::forward<Job>(job));
        }
    }

private:
    asio::io_context context_{1};
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> guard_;
    std::vector<std::thread> threads_;
};

}  // namespace zv::server
