using System;
using System.Net;
using System.Net.Sockets;
using System.Threading;
using NUnit.Framework;

namespace Zorvat.Tests
{
    [TestFixture]
    public class OperationsTests
    {
        // The eight places where ISO-8859-15 differs from Latin-1, and Latin-1's own letters.
        private const string Changed = "€ŠšŽžŒœŸ àéîõüß";

        private ReferenceServer server;

        [TestFixtureSetUp] public void Start() { server = new ReferenceServer(); }
        [TestFixtureTearDown] public void Stop() { server.Dispose(); }

        [Test]
        public void DirectAndSessionOperationsCarryTextBothWays()
        {
            Answer direct = ZorvatClient.ExecuteDirect(server.Options(), 20, Arguments.Join(Changed, "b"));
            Assert.AreEqual(Changed + "\x1F" + "b", direct["ARGUMENTS"]);
            Assert.AreEqual("20", direct.Items[1]);
            Assert.IsFalse(direct.TryGetValue("ABSENT", out _));

            using (Session session = Session.Open(server.Options(Changed)))
            {
                Assert.AreEqual("R00000001".Length, session.RecordId.Length);
                Assert.AreEqual(session.LoginAnswer["RECORD_ID"], session.RecordId);
                Answer answer = session.Execute(5, Arguments.SubItems("CUST", "Œuvre"));
                Assert.AreEqual(session.SessionId, answer["SESSION_ID"]);
                Assert.AreEqual("CUST\u00FEŒuvre", answer["ARGUMENTS"]);
                Assert.Throws<ArgumentException>(() => session.Execute(8));
                Assert.Throws<ZorvatException>(() => session.Login());
                Assert.IsNotNull(session.Logout());
                Assert.IsNull(session.Logout());
                Assert.Throws<ZorvatException>(() => session.Execute(5));
            }
        }

        [Test]
        public void TextOutsideTheCharacterSetIsRefusedBeforeAnyCall([Values("\u00A4", "\u0151", "a\0b", "😀")] string text)
        {
            // Server port 1 is closed: a call that went ahead would fail with C104 instead.
            var options = new CredentialOptions("127.0.0.1", 1);
            Assert.Throws<ArgumentException>(() => ZorvatClient.ExecuteDirect(options, 20, text));
            Assert.Throws<ArgumentException>(() => new CredentialOptions(text, 1));
            Assert.Throws<ArgumentException>(() => ZorvatClient.ExecuteDirectAsync(options, 20, text));
        }

        [Test]
        public void FailuresRaiseTheirOwnTypes()
        {
            var refused = Assert.Throws<ZorvatException>(
                () => ZorvatClient.ExecuteDirect(new CredentialOptions("127.0.0.1", 1), 20));
            Assert.AreEqual(104, refused.Code);
            StringAssert.StartsWith("C104: ", refused.Message);

            using (var refusing = new ReferenceServer("--fault", "negotiation:refuse=Nein"))
            {
                var words = Assert.Throws<ServerException>(() => ZorvatClient.ExecuteDirect(refusing.Options(), 20));
                Assert.AreEqual("Nein", words.Message);
                Assert.IsTrue(words.Negotiated);
                Assert.IsNull(words.Code);
            }
        }

        [Test]
        public void SilentServerTimesOutOrIsCancelled()
        {
            var silent = new TcpListener(IPAddress.Loopback, 0);
            silent.Start();
            try
            {
                var options = new CredentialOptions("127.0.0.1", ((IPEndPoint)silent.LocalEndpoint).Port);
                var late = Assert.Throws<WaitTimeoutException>(
                    () => ZorvatClient.ExecuteDirect(options, 20, timeout: TimeSpan.FromMilliseconds(200)));
                Assert.AreEqual(407, late.Code);
                Assert.IsInstanceOf<TimeoutException>(late);

                using (var cancel = new CancellationTokenSource(TimeSpan.FromMilliseconds(200)))
                    Assert.Throws<OperationCanceledException>(
                        () => ZorvatClient.ExecuteDirect(options, 20, cancellationToken: cancel.Token));
                Assert.Throws<ArgumentOutOfRangeException>(
                    () => ZorvatClient.ExecuteDirect(options, 20, timeout: TimeSpan.Zero));
            }
            finally
            {
                silent.Stop();
            }
        }

        [Test]
        public void ExplicitLibraryThatDoesNotLoadIsAnErrorOfItsOwn()
        {
            // A fresh application domain loads the binding anew; the variable is the process's.
            string saved = Environment.GetEnvironmentVariable("ZORVAT_LIBRARY");
            AppDomain domain = AppDomain.CreateDomain("loader", null, AppDomain.CurrentDomain.SetupInformation);
            try
            {
                Environment.SetEnvironmentVariable("ZORVAT_LIBRARY", "/nonexistent/libzorvat.so.1");
                Exception failure = Assert.Catch(() => domain.DoCallBack(() => new CredentialOptions("127.0.0.1", 1)));
                while (failure.InnerException != null) failure = failure.InnerException;
                Assert.IsInstanceOf<DllNotFoundException>(failure);
                StringAssert.Contains("/nonexistent/libzorvat.so.1", failure.Message);
            }
            finally
            {
                Environment.SetEnvironmentVariable("ZORVAT_LIBRARY", saved);
                AppDomain.Unload(domain);
            }
        }
    }
}
