using System;
using System.Diagnostics;
using System.Linq;
using System.Net;
using System.Net.Sockets;
using System.Threading;
using System.Threading.Tasks;
using NUnit.Framework;

namespace Zorvat.Tests
{
    [TestFixture]
    public class AsyncTests
    {
        private static int Threads() => Process.GetCurrentProcess().Threads.Count;

        [Test]
        public void ManyOperationsShareOneWaitingThreadAndCancelTogether()
        {
            using (var server = new ReferenceServer("--fault", "response:delay=100"))
            {
                Session session = Session.OpenAsync(server.Options()).Result;
                int before = Threads();
                Task<Answer>[] calls = Enumerable.Range(0, 200)
                    .Select(i => session.ExecuteAsync(20, "n" + i))
                    .Concat(Enumerable.Range(0, 20).Select(i => ZorvatClient.ExecuteDirectAsync(server.Options(), 20, "d" + i)))
                    .ToArray();
                Assert.IsTrue(Task.WaitAll(calls, TimeSpan.FromSeconds(60)));
                // A thread per call would add 220; the pool may add a few for the continuations.
                Assert.Less(Threads() - before, 20);
                for (int i = 0; i < 200; i++) Assert.AreEqual("n" + i, calls[i].Result["ARGUMENTS"]);
                Assert.AreEqual("d7", calls[207].Result["ARGUMENTS"]);

                Task<Answer>[] cancelled;
                using (var cancel = new CancellationTokenSource())
                {
                    cancelled = Enumerable.Range(0, 200)
                        .Select(i => session.ExecuteAsync(20, "", cancellationToken: cancel.Token)).ToArray();
                    Thread.Sleep(20);   // in flight: the server holds each answer 100 ms
                    cancel.Cancel();
                    Assert.IsTrue(Task.WaitAll(cancelled.Select(c => c.ContinueWith(_ => { })).ToArray(),
                                               TimeSpan.FromSeconds(30)));
                }
                Assert.IsTrue(cancelled.All(c => c.IsCanceled));

                Assert.IsNotNull(session.LogoutAsync().Result);
                Assert.IsFalse(session.LoggedIn);
                session.DisposeAsync().AsTask().Wait();
            }
        }

        [Test]
        public void AsyncFailuresCompleteTheirTasks()
        {
            var silent = new TcpListener(IPAddress.Loopback, 0);
            silent.Start();
            try
            {
                var options = new CredentialOptions("127.0.0.1", ((IPEndPoint)silent.LocalEndpoint).Port);
                var late = Assert.Throws<AggregateException>(
                    () => ZorvatClient.ExecuteDirectAsync(options, 20, timeout: TimeSpan.FromMilliseconds(200)).Wait());
                Assert.IsInstanceOf<WaitTimeoutException>(late.InnerException);
                var refused = Assert.Throws<AggregateException>(
                    () => Session.OpenAsync(new CredentialOptions("127.0.0.1", 1)).Wait());
                Assert.AreEqual(104, ((ZorvatException)refused.InnerException).Code);
            }
            finally
            {
                silent.Stop();
            }
        }
    }
}
