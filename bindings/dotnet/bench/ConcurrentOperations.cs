// 1,000 asynchronous operations at once in one session against a server that
// holds every answer back 100 ms: how long until all complete, how many
// threads the process gained, and how long cancelling 1,000 in flight takes.
// Usage: mono ConcurrentOperations.exe ZORVAT_SERVER [COUNT]   (ZORVAT_LIBRARY as for the tests)
using System;
using System.Diagnostics;
using System.Linq;
using System.Text.RegularExpressions;
using System.Threading;
using System.Threading.Tasks;
using Zorvat;

internal static class ConcurrentOperations
{
    private static int Threads() => Process.GetCurrentProcess().Threads.Count;

    private static int Main(string[] arguments)
    {
        int count = arguments.Length > 1 ? int.Parse(arguments[1]) : 1000;
        string help = Run(arguments[0], "--help", false).StandardOutput.ReadToEnd();
        string limits = "--max-connections 10000" +
                        (help.Contains("--max-connections-per-address") ? " --max-connections-per-address 0" : "");
        Process server = Run(arguments[0], "--host 127.0.0.1 --port 0 --fault response:delay=100 " + limits, true);
        try
        {
            int port = int.Parse(Regex.Match(server.StandardOutput.ReadLine() ?? "", @":(\d+)$").Groups[1].Value);
            var options = new CredentialOptions("127.0.0.1", port, "ACCOUNT", "alice", "pw");
            using (Session session = Session.OpenAsync(options).Result)
            {
                session.ExecuteAsync(20, "warm-up").Wait();
                ThreadPool.GetMinThreads(out int workers, out int ports);
                int before = Threads();

                var clock = Stopwatch.StartNew();
                Task<Answer>[] calls = Enumerable.Range(0, count).Select(i => session.ExecuteAsync(20, "x")).ToArray();
                int peak = WaitCountingThreads(calls);
                double completed = clock.Elapsed.TotalMilliseconds;
                int failed = calls.Count(c => c.Status != TaskStatus.RanToCompletion);
                Console.WriteLine("{0} ExecuteAsync with 100 ms server delay: all done in {1:F0} ms, {2} failed; " +
                                  "threads {3} before, {4} at most during (+{5}); pool minimum {6}",
                                  count, completed, failed, before, peak, peak - before, workers);

                using (var cancel = new CancellationTokenSource())
                {
                    calls = Enumerable.Range(0, count)
                        .Select(i => session.ExecuteAsync(20, "x", cancellationToken: cancel.Token)).ToArray();
                    Thread.Sleep(50);   // all sent, the answers held back for another 50 ms
                    clock.Restart();
                    cancel.Cancel();
                    double cancelReturned = clock.Elapsed.TotalMilliseconds;
                    Task.WaitAll(calls.Select(c => c.ContinueWith(_ => { }, TaskContinuationOptions.ExecuteSynchronously)).ToArray());
                    Console.WriteLine("cancelling {0} in flight: Cancel() returned after {1:F1} ms, all complete after " +
                                      "{2:F1} ms, {3} cancelled, {4} answered", count, cancelReturned,
                                      clock.Elapsed.TotalMilliseconds, calls.Count(c => c.IsCanceled),
                                      calls.Count(c => c.Status == TaskStatus.RanToCompletion));
                }
                return failed == 0 ? 0 : 1;
            }
        }
        finally
        {
            server.Kill();
            server.WaitForExit();
        }
    }

    private static int WaitCountingThreads(Task[] calls)
    {
        Task all = Task.WhenAll(calls);
        int peak = Threads();
        while (!all.Wait(5)) peak = Math.Max(peak, Threads());
        return Math.Max(peak, Threads());
    }

    private static Process Run(string program, string arguments, bool output)
    {
        return Process.Start(new ProcessStartInfo(program, arguments)
        {
            UseShellExecute = false,
            RedirectStandardOutput = true,
        });
    }
}
