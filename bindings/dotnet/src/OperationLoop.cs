// The one thread that waits for every asynchronous operation in flight.
//
// A caller starts an operation (ZvStart...Operation returns at once) and hands
// it over here; from then on only this thread touches it: it polls the
// operation, waits on the descriptor and the time limit the poll asked for,
// together with those of every other operation, and finishes it when it is
// done or its token was cancelled. Tasks complete with their continuations
// sent to the thread pool, so no caller's code runs on this thread.
using System;
using System.Collections.Concurrent;
using System.Collections.Generic;
using System.Diagnostics;
using System.Net;
using System.Net.Sockets;
using System.Threading;
using System.Threading.Tasks;

namespace Zorvat
{
    internal sealed class OperationLoop
    {
        private sealed class Pending
        {
            internal OperationHandle Operation;
            internal TaskCompletionSource<Answer> Completion;
            internal CancellationToken Token;
            internal CancellationTokenRegistration Registration;
            internal bool Negotiated;
            internal Action<string> RecordSink;
            internal Action Finished;
            internal volatile bool CancelRequested;
            internal bool Done;
            internal bool Write;
            internal long Socket;
            internal long DeadlineMs;
            internal int Slot;
        }

        private static readonly Lazy<OperationLoop> Instance =
            new Lazy<OperationLoop>(() => new OperationLoop(), LazyThreadSafetyMode.ExecutionAndPublication);

        private readonly ConcurrentQueue<Pending> arrivals = new ConcurrentQueue<Pending>();
        private readonly List<Pending> active = new List<Pending>();
        private readonly Poller poller = new Poller();
        // A datagram to itself wakes the waiting thread; sockets, because
        // WSAPoll watches nothing else.
        private readonly Socket wakeSocket = new Socket(AddressFamily.InterNetwork, SocketType.Dgram, ProtocolType.Udp);
        private readonly byte[] wakeBuffer = new byte[64];
        private int wakePending;

        private OperationLoop()
        {
            wakeSocket.Bind(new IPEndPoint(IPAddress.Loopback, 0));
            wakeSocket.Connect(wakeSocket.LocalEndPoint);
            wakeSocket.Blocking = false;
            var thread = new Thread(Serve) { IsBackground = true, Name = "Zorvat operations" };
            thread.Start();
        }

        /// <summary>
        /// Waits for the started operation on the loop's thread. recordSink
        /// receives the record a successful persistent operation hands back
        /// (before the task completes), and finished runs once it has ended,
        /// whatever the outcome; a cancelled token finishes the operation
        /// (C408) and completes the task as cancelled.
        /// </summary>
        internal static Task<Answer> Run(OperationHandle operation, bool negotiated, Action<string> recordSink,
                                         Action finished, CancellationToken token)
        {
            if (operation.IsInvalid)
            {
                operation.Dispose();
                throw new OutOfMemoryException("the library could not start the operation");
            }
            var pending = new Pending
            {
                Operation = operation,
                Completion = new TaskCompletionSource<Answer>(TaskCreationOptions.RunContinuationsAsynchronously),
                Token = token,
                Negotiated = negotiated,
                RecordSink = recordSink,
                Finished = finished,
            };
            OperationLoop loop = Instance.Value;
            if (token.CanBeCanceled)
            {
                pending.Registration = token.Register(state =>
                {
                    ((Pending)state).CancelRequested = true;
                    loop.Wake();
                }, pending);
            }
            loop.arrivals.Enqueue(pending);
            loop.Wake();
            return pending.Completion.Task;
        }

        private void Wake()
        {
            if (Interlocked.Exchange(ref wakePending, 1) != 0) return;
            try
            {
                wakeSocket.Send(wakeBuffer, 1, SocketFlags.None);
            }
            catch (SocketException)
            {
                // A full buffer holds a wake-up already.
            }
        }

        private static long NowMs() => Stopwatch.GetTimestamp() / (Stopwatch.Frequency / 1000);

        private void Serve()
        {
            for (;;)
            {
                try
                {
                    ServeOnce();
                }
                catch (Exception failure)
                {
                    // The wait itself failed: nothing in flight can be trusted to
                    // finish, so each task fails with the cause, and the loop goes on.
                    foreach (Pending pending in active)
                        if (!pending.Done) Fail(pending, failure);
                    active.Clear();
                }
            }
        }

        private void ServeOnce()
        {
            // Drained before the flag is cleared: a wake-up after the clearing
            // leaves its datagram for the next wait, and one before it finds
            // its operation among the arrivals and cancellations seen below.
            while (wakeSocket.Available > 0) wakeSocket.Receive(wakeBuffer);
            Volatile.Write(ref wakePending, 0);

            Pending arrived;
            while (arrivals.TryDequeue(out arrived))
            {
                active.Add(arrived);
                // A token cancelled before the call stops it before it connects.
                if (arrived.CancelRequested) Finish(arrived);
                else Step(arrived);
            }
            foreach (Pending pending in active)
                if (pending.CancelRequested && !pending.Done) Finish(pending);
            active.RemoveAll(pending => pending.Done);

            long now = NowMs();
            long nextDeadline = long.MaxValue;
            poller.Clear();
            poller.Add((long)wakeSocket.Handle, false);
            foreach (Pending pending in active)
            {
                pending.Slot = pending.Socket < 0 ? -1 : poller.Add(pending.Socket, pending.Write);
                nextDeadline = Math.Min(nextDeadline, pending.DeadlineMs);
            }
            int timeout = nextDeadline == long.MaxValue
                ? -1
                : (int)Math.Min(Math.Max(nextDeadline - now, 0), int.MaxValue);
            poller.Wait(timeout);

            now = NowMs();
            foreach (Pending pending in active)
                if ((pending.Slot >= 0 && poller.Ready(pending.Slot)) || pending.DeadlineMs <= now) Step(pending);
            active.RemoveAll(pending => pending.Done);
        }

        /// <summary>Polls the operation, and finishes it when it is done.</summary>
        private void Step(Pending pending)
        {
            try
            {
                int wanted = NativeMethods.ZvPollOperation(pending.Operation);
                if (wanted == NativeMethods.OperationDone)
                {
                    Finish(pending);
                    return;
                }
                pending.Write = wanted == NativeMethods.OperationWantsWrite;
                pending.Socket = NativeMethods.ZvGetOperationSocket(pending.Operation);
                uint timeout = NativeMethods.ZvGetOperationTimeout(pending.Operation);
                pending.DeadlineMs = timeout == NativeMethods.NoTimeout ? long.MaxValue : NowMs() + timeout;
            }
            catch (Exception failure)
            {
                Fail(pending, failure);
            }
        }

        /// <summary>Hands the operation back to the library and completes the task.</summary>
        private void Finish(Pending pending)
        {
            pending.Done = true;
            try
            {
                LibraryString message, record;
                LibraryString answer = pending.Operation.Finish(out message, out record);
                string newRecord = LibraryString.Take(record);
                using (answer)
                using (message)
                {
                    if (!answer.IsInvalid && message.IsInvalid)
                    {
                        var outcome = new Answer(answer.Text());
                        pending.RecordSink?.Invoke(newRecord);
                        Release(pending);
                        pending.Completion.TrySetResult(outcome);
                        return;
                    }
                    // Handed over rather than thrown: a thousand cancelled
                    // operations would otherwise cost a thousand throws here.
                    Exception failure = Failures.For(message.Text(), pending.Negotiated, pending.Token);
                    Release(pending);
                    if (failure is OperationCanceledException) pending.Completion.TrySetCanceled(pending.Token);
                    else pending.Completion.TrySetException(failure);
                }
            }
            catch (Exception failure)
            {
                Fail(pending, failure);
            }
        }

        private static void Fail(Pending pending, Exception failure)
        {
            pending.Done = true;
            Release(pending);
            pending.Completion.TrySetException(failure);
        }

        private static void Release(Pending pending)
        {
            pending.Operation.Dispose();
            pending.Registration.Dispose();
            Action finished = pending.Finished;
            pending.Finished = null;
            finished?.Invoke();
        }
    }
}
