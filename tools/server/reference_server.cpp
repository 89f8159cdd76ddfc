#include "reference_server.hpp"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <future>
#include <system_error>
#include <thread>

#include "client_connection.hpp"
#include "listener.hpp"

namespace zv::server {
namespace {

constexpr std::size_t kWorkerThreads = 2;

}  // namespace

struct ReferenceServer::Loop {
    explicit Loop(ReferenceServer& server)
        : context{io,
                  server.options_,
                  server.budget_,
                  server.protocol_,
                  server.workers_,
                  [&server] { return server.CurrentFaults(); },
                  server.exchanges_,
                  {},
                  {},
                  {}},
          listener(context) {}

    void Run() {
        for (;;) {
            try {
                io.run();
                return;
            } catch (const std::exception& failure) {
                // Every handler guards itself; this is the last net, and
                // nothing may leave it.
                try {
                    context.Log(std::string("event loop: ") + failure.what());
                } catch (...) {
                }
            } catch (...) {
                context.Log("event loop: unknown failure");
            }
            listener.Resume();
        }
    }

    asio::io_context io{1};
    asio::executor_work_guard<asio::io_context::executor_type> guard{io.get_executor()};
    ServingContext context;
    Listener listener;
    std::thread thread;
};

ReferenceServer::ReferenceServer(ServerOptions options)
    : options_(std::move(options)),
      keys_(options_.limits),
      budget_(options_.limits.memoryLimit),
      protocol_(options_, keys_),
      faults_(options_.faults) {}

ReferenceServer::~ReferenceServer() { Stop(); }

bool ReferenceServer::Start() {
    if (loop_ != nullptr) return true;
    auto loop = std::make_unique<Loop>(*this);
    if (!loop->listener.Open(options_.host, options_.port, error_)) return false;
    port_ = loop->listener.Port();
    // The loop first: without it nothing is served, while the workers can
    // be done without.
    try {
        loop->thread = std::thread([loop = loop.get()] { loop->Run(); });
    } catch (const std::system_error& failure) {
        error_ = std::string("cannot start the event loop: ") + failure.what();
        return false;
    }
    const std::size_t workers = workers_.Start(kWorkerThreads);
    if (workers < kWorkerThreads) {
        loop->context.Log("started " + std::to_string(workers) + " of " +
                          std::to_string(kWorkerThreads) + " worker threads; going on with them");
    }
    // Accepting starts once the pool is settled: the loop reads it.
    asio::post(loop->io, [listener = &loop->listener] { listener->Accept(); });
    loop_ = std::move(loop);
    return true;
}

void ReferenceServer::Stop() {
    if (loop_ == nullptr) return;
    // The loop closes the listener and every connection itself, so that
    // nothing touches them from two threads.
    std::promise<void> closed;
    asio::post(loop_->io, [this, &closed] {
        loop_->listener.Close();
        closed.set_value();
    });
    closed.get_future().wait();
    // Answers being worked out finish and find their connections closed.
    workers_.Stop();
    loop_->guard.reset();
    loop_->thread.join();
    loop_.reset();
}

void ReferenceServer::SetFaults(const FaultPlan& faults) {
    const std::lock_guard lock(faultMutex_);
    faults_ = faults;
}

FaultPlan ReferenceServer::CurrentFaults() {
    const std::lock_guard lock(faultMutex_);
    return faults_;
}

}  // namespace zv::server
