#include "worker_pool.hpp"

#include <system_error>

namespace zv::server {

std::size_t WorkerPool::Start(std::size_t count) {
    guard_.emplace(context_.get_executor());
    for (std::size_t i = 0; i < count; ++i) {
        try {
            threads_.emplace_back([this] {
                // A job catches its own failures; this only keeps a stray one
                // from ending the process.
                for (;;) {
                    try {
                        context_.run();
                        return;
                    } catch (...) {
                    }
                }
            });
        } catch (const std::system_error&) {
            break;  // out of threads (a process limit): fewer will do
        }
    }
    if (threads_.empty()) guard_.reset();
    return threads_.size();
}

void WorkerPool::Stop() {
    guard_.reset();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

}  // namespace zv::server
