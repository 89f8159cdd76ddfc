"""COUNT zorvat.aio.execute_direct calls in flight at once on one asyncio loop,
against a server that holds each answer back (run by operations_in_flight.sh).

Prints one line: wall time, operations per second, failures, Python threads
(threading.active_count) and the process's threads and descriptors at the
start, at the peak and at the end, client CPU per operation against the
blocking zorvat.execute_direct's (BLOCKING calls one after another), and the
lag of a 1 ms ticker on the same loop (p50, p99, max).

  --cancel PORT   then starts COUNT calls against PORT (a server that holds
                  its answers back far longer), cancels them all once they
                  are in flight and prints the loop time the cancellation
                  took and the descriptors left.
  --poll-hold     then times every ZvPollOperation of one call with 8 MiB of
                  arguments (and an 8 MiB answer) and prints the longest.

Usage: operations_in_flight.py PORT COUNT BLOCKING [--cancel PORT] [--poll-hold]
"""

import asyncio
import os
import resource
import sys
import threading
import time

import zorvat
from zorvat import native

SAMPLE_EVERY = 0.1  # seconds between counts of threads and descriptors


def descriptors():
    return len(os.listdir("/proc/self/fd")) - 1  # less the listing's own


def counts():
    return threading.active_count(), len(os.listdir("/proc/self/task")), descriptors()


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(len(ordered) * fraction))] * 1e3


class Instruments:
    """A 1 ms ticker and a sampler of counts, both callbacks on the loop."""

    def __init__(self, loop):
        self.loop = loop
        self.lags = []
        self.start = counts()
        self.peak = list(self.start)
        self.sampling_cpu = 0.0
        self.running = True
        loop.call_at(loop.time() + 0.001, self.tick, loop.time() + 0.001)
        loop.call_later(SAMPLE_EVERY, self.sample)

    def tick(self, due):
        now = self.loop.time()
        self.lags.append(now - due)
        if self.running:
            self.loop.call_at(now + 0.001, self.tick, now + 0.001)

    def sample(self):
        before = time.process_time()
        self.peak = [max(a, b) for a, b in zip(self.peak, counts())]
        self.sampling_cpu += time.process_time() - before
        if self.running:
            self.loop.call_later(SAMPLE_EVERY, self.sample)


async def in_flight(options, count):
    loop = asyncio.get_running_loop()
    instruments = Instruments(loop)
    started_cpu, started = time.process_time(), loop.time()
    answers = await asyncio.gather(
        *(zorvat.aio.execute_direct(options, 20, ["CUSTOMERS", str(i)], timeout=30,
                                    connect_timeout=10) for i in range(count)),
        return_exceptions=True,
    )
    wall = loop.time() - started
    cpu = time.process_time() - started_cpu - instruments.sampling_cpu
    instruments.running = False
    end = counts()
    failed = sum(
        not isinstance(answer, str) or answer["ARGUMENTS"] != f"CUSTOMERS\x1f{i}"
        for i, answer in enumerate(answers)
    )
    for answer in answers:
        if not isinstance(answer, str):
            print(f"  first failure: {answer!r}", file=sys.stderr)
            break
    peak = [max(a, b) for a, b in zip(instruments.peak, end)]
    return wall, cpu, failed, instruments, peak, end


async def cancelled_in_flight(options, count):
    loop = asyncio.get_running_loop()
    before = counts()
    tasks = [
        asyncio.ensure_future(zorvat.aio.execute_direct(options, 20, timeout=120))
        for _ in range(count)
    ]
    # In flight: every call holds its connection and waits for the answer.
    waited = 0.0
    while descriptors() < before[2] + count and waited < 30:
        await asyncio.sleep(0.1)
        waited += 0.1
    in_flight = descriptors() - before[2]
    started = loop.time()
    for task in tasks:
        task.cancel()
    outcomes = await asyncio.gather(*tasks, return_exceptions=True)
    took = loop.time() - started
    cancelled = sum(isinstance(outcome, asyncio.CancelledError) for outcome in outcomes)
    return took, in_flight, cancelled, before, counts()


async def longest_poll(options):
    """The longest poll of one 8 MiB call, in wall time and in the thread's
    CPU time (the wall time of a busy machine adds the time others ran)."""
    longest = {"wall": 0.0, "cpu": 0.0, "polls": 0}
    poll = native.ZvPollOperation

    def timed(operation):
        wall, cpu = time.perf_counter(), time.thread_time()
        try:
            return poll(operation)
        finally:
            longest["wall"] = max(longest["wall"], time.perf_counter() - wall)
            longest["cpu"] = max(longest["cpu"], time.thread_time() - cpu)
            longest["polls"] += 1

    native.ZvPollOperation = timed
    try:
        answer = await zorvat.aio.execute_direct(options, 20, "x" * (8 << 20), timeout=60)
    finally:
        native.ZvPollOperation = poll
    return longest, len(answer)


def main():
    arguments = sys.argv[1:]
    port, count, blocking = int(arguments[0]), int(arguments[1]), int(arguments[2])
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    options = zorvat.CredentialOptions("127.0.0.1", port, "ACCOUNT", "alice", "secret")

    blocking_cpu = time.process_time()
    for _ in range(blocking):
        zorvat.execute_direct(options, 20, "CUSTOMERS", timeout=30, connect_timeout=10)
    blocking_cpu = (time.process_time() - blocking_cpu) / blocking
    time.sleep(0.1)  # the blocking calls' last worker thread ends

    wall, cpu, failed, instruments, peak, end = asyncio.run(in_flight(options, count))
    start, lags = instruments.start, instruments.lags
    print(
        f"Python aio  {count:6} ops  wall {wall * 1e3:7.0f} ms  {count / wall:7.0f} ops/s"
        f"  failed {failed}  active_count {start[0]}/{peak[0]}/{end[0]}"
        f"  threads {start[1]}/{peak[1]}/{end[1]}  descriptors {start[2]}/{peak[2]}/{end[2]}"
        f"  CPU/op {cpu / count * 1e6:.1f} us, blocking {blocking_cpu * 1e6:.1f} us"
        f" ({cpu / count / blocking_cpu:.2f}x)  lag p50 {percentile(lags, 0.5):.1f}"
        f" p99 {percentile(lags, 0.99):.1f} max {max(lags) * 1e3:.1f} ms"
    )
    if "--cancel" in arguments:
        cancel_port = int(arguments[arguments.index("--cancel") + 1])
        cancel_options = zorvat.CredentialOptions(
            "127.0.0.1", cancel_port, "ACCOUNT", "alice", "secret"
        )
        took, in_flight_count, cancelled, before, after = asyncio.run(
            cancelled_in_flight(cancel_options, count)
        )
        print(
            f"Python aio  {count:6} cancelled in flight ({in_flight_count} connections open):"
            f" {took * 1e3:.0f} ms of loop time, {cancelled} CancelledError,"
            f" active_count {before[0]} -> {after[0]}, descriptors {before[2]} -> {after[2]}"
        )
    if "--poll-hold" in arguments:
        longest, size = asyncio.run(longest_poll(options))
        print(
            f"Python aio  8 MiB arguments, {size} characters answered: {longest['polls']} polls,"
            f" the longest held the loop {longest['wall'] * 1e3:.1f} ms"
            f" ({longest['cpu'] * 1e3:.1f} ms of CPU at most)"
        )


if __name__ == "__main__":
    main()
