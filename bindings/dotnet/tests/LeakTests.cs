using System;
using System.IO;
using System.Threading;
using NUnit.Framework;

namespace Zorvat.Tests
{
    /// <summary>Many calls on blocks of 16 KiB, succeeding and failing, leave the process size where it was.</summary>
    [TestFixture]
    public class LeakTests
    {
        private const int Repetitions = 300;
        private const long GrowthBound = 3 << 20;   // one block leaked per call would be 4.7 MiB

        private static long ResidentBytes()
        {
            GC.Collect();
            GC.WaitForPendingFinalizers();
            GC.Collect();
            return long.Parse(File.ReadAllText("/proc/self/statm").Split(' ')[1]) * Environment.SystemPageSize;
        }

        [Test]
        public void OperationsAndFailuresLeaveNothingBehind()
        {
            string block = new string('x', 16384);
            using (var server = new ReferenceServer())
            using (var refusing = new ReferenceServer("--fault", "negotiation:refuse=" + block))
            using (var cancelled = new CancellationTokenSource())
            {
                cancelled.Cancel();
                CredentialOptions options = server.Options(block);   // as large a record and login answer
                Action calls = () =>
                {
                    Answer answer = ZorvatClient.ExecuteDirect(options, 20, block);
                    Assert.AreEqual(block, answer["CREDENTIAL_ITEM6"]);
                    Assert.AreEqual(block, answer.Items[13]);
                    using (Session session = Session.OpenAsync(options).Result)
                    {
                        session.Execute(20, block);
                        Assert.AreEqual(block, session.ExecuteAsync(20, block).Result["ARGUMENTS"]);
                        Assert.Throws<AggregateException>(
                            () => session.ExecuteAsync(20, block, cancellationToken: cancelled.Token).Wait());
                    }
                    Assert.Throws<AggregateException>(() => ZorvatClient.ExecuteDirectAsync(refusing.Options(), 20).Wait());
                    Assert.Throws<ServerException>(() => ZorvatClient.ExecuteDirect(refusing.Options(), 20));
                    Assert.Throws<OperationCanceledException>(
                        () => ZorvatClient.ExecuteDirect(options, 20, block, cancellationToken: cancelled.Token));
                    Assert.Throws<ZorvatException>(() => new Session(new CredentialOptions("127.0.0.1", 1)).Login());
                };
                // After a first round that lets the allocators settle, a leak
                // grows the process in every round; a new arena only in some.
                long least = long.MaxValue;
                for (int round = 0; round < 4; round++)
                {
                    long before = ResidentBytes();
                    for (int i = 0; i < Repetitions; i++) calls();
                    if (round > 0) least = Math.Min(least, ResidentBytes() - before);
                }
                Assert.Less(least, GrowthBound);
            }
        }
    }
}
