using System;
using System.Threading;
using System.Threading.Tasks;

namespace Zorvat
{
    /// <summary>
    /// A login session on one server, held in a connection-info record (12
    /// items) that the login fills with the server's record identifier, the
    /// session identifier and the session key. Nothing stays allocated in the
    /// library between calls.
    /// <code>
    /// using (var session = Session.Open(options))
    ///     Console.WriteLine(session.Execute(20, "CUSTOMERS")["RECORD_ID"]);
    /// </code>
    /// Operations may run on several threads at once; the logout waits for
    /// those in flight, and only one logout is ever sent.
    /// </summary>
    public sealed class Session : IDisposable, IAsyncDisposable
    {
        private const byte LoginCode = 1;
        private const byte LogoutCode = 8;
        private const uint RecordIdItem = 8;
        private const uint SessionIdItem = 9;

        private readonly byte[] loginArguments;
        private readonly Limits limits;
        // Held by a login or a logout for its whole course.
        private readonly SemaphoreSlim changing = new SemaphoreSlim(1, 1);
        // Guards the fields below; operations run outside it.
        private readonly object state = new object();
        private string record;
        private bool loggedIn;
        private Answer loginAnswer = new Answer("");
        private int inFlight;
        private TaskCompletionSource<bool> drained;

        /// <summary>A session not yet logged in; Login or LoginAsync starts it.</summary>
        /// <param name="timeout">Bounds every call of the session as for ZorvatClient.ExecuteDirect.</param>
        public Session(CredentialOptions options, string loginArguments = "", TimeSpan? timeout = null,
                       TimeSpan? connectTimeout = null)
        {
            if (options == null) throw new ArgumentNullException(nameof(options));
            this.loginArguments = Iso885915.Encode(loginArguments, nameof(loginArguments));
            limits = new Limits(timeout, connectTimeout);
            record = LibraryString.Take(NativeMethods.ZvCreateConnectionInfo(options.RecordBytes(), 0));
            if (record == null) throw new OutOfMemoryException("ZvCreateConnectionInfo returned null");
        }

        /// <summary>A new session, logged in.</summary>
        public static Session Open(CredentialOptions options, string loginArguments = "", TimeSpan? timeout = null,
                                   TimeSpan? connectTimeout = null,
                                   CancellationToken cancellationToken = default(CancellationToken))
        {
            var session = new Session(options, loginArguments, timeout, connectTimeout);
            session.Login(cancellationToken);
            return session;
        }

        /// <summary>A new session, logged in without blocking.</summary>
        public static async Task<Session> OpenAsync(CredentialOptions options, string loginArguments = "",
                                                    TimeSpan? timeout = null, TimeSpan? connectTimeout = null,
                                                    CancellationToken cancellationToken = default(CancellationToken))
        {
            var session = new Session(options, loginArguments, timeout, connectTimeout);
            await session.LoginAsync(cancellationToken).ConfigureAwait(false);
            return session;
        }

        public bool LoggedIn { get { lock (state) return loggedIn; } }

        /// <summary>The server's answer to the login; empty before it.</summary>
        public Answer LoginAnswer { get { lock (state) return loginAnswer; } }

        /// <summary>The whole record; after the login it holds the session key, a secret.</summary>
        public string ConnectionInfo { get { lock (state) return record; } }

        /// <summary>The RECORD_ID of the login answer (record item 8).</summary>
        public string RecordId => Item(RecordIdItem);

        /// <summary>The session identifier the server assigned (record item 9).</summary>
        public string SessionId => Item(SessionIdItem);

        private string Item(uint index)
        {
            return LibraryString.Take(NativeMethods.ZvExtractDataFromConnectionInfo(
                Iso885915.Encode(ConnectionInfo, "record"), index)) ?? "";
        }

        /// <summary>Logs in and returns the server's answer. Throws ZorvatException when
        /// already logged in or when the login fails, which leaves the session as it was.</summary>
        public Answer Login(CancellationToken cancellationToken = default(CancellationToken))
        {
            return LoginCore(false, cancellationToken).GetAwaiter().GetResult();
        }

        public Task<Answer> LoginAsync(CancellationToken cancellationToken = default(CancellationToken))
        {
            return LoginCore(true, cancellationToken);
        }

        /// <summary>
        /// Logs out after the operations in flight and returns the server's
        /// answer; null when not logged in. The session counts as logged out
        /// afterwards even when the server answered with an error (thrown).
        /// </summary>
        public Answer Logout(CancellationToken cancellationToken = default(CancellationToken))
        {
            return LogoutCore(false, cancellationToken).GetAwaiter().GetResult();
        }

        public Task<Answer> LogoutAsync(CancellationToken cancellationToken = default(CancellationToken))
        {
            return LogoutCore(true, cancellationToken);
        }

        /// <summary>
        /// Runs one operation inside the session. Codes 1 and 8 are Login and
        /// Logout, refused here with ArgumentException; throws ZorvatException
        /// when not logged in, ServerException for the server's error text.
        /// </summary>
        public Answer Execute(byte operationCode, string arguments = "", byte inputFormat = 1, byte outputFormat = 1,
                              CancellationToken cancellationToken = default(CancellationToken))
        {
            return ExecuteCore(operationCode, Checked(operationCode, arguments), inputFormat, outputFormat,
                               cancellationToken);
        }

        /// <summary>Execute without blocking, on the library-wide waiting thread.</summary>
        public Task<Answer> ExecuteAsync(byte operationCode, string arguments = "", byte inputFormat = 1,
                                         byte outputFormat = 1,
                                         CancellationToken cancellationToken = default(CancellationToken))
        {
            return ExecuteCoreAsync(operationCode, Checked(operationCode, arguments), inputFormat, outputFormat,
                                    cancellationToken);
        }

        private static byte[] Checked(byte operationCode, string arguments)
        {
            if (operationCode == LoginCode || operationCode == LogoutCode)
                throw new ArgumentException("codes 1 and 8 are the login and the logout: use Login and Logout",
                                            nameof(operationCode));
            return Iso885915.Encode(arguments, nameof(arguments));
        }

        /// <summary>Logs out when logged in; a failed logout is not thrown from here.</summary>
        public void Dispose()
        {
            try
            {
                Logout();
            }
            catch (Exception failure) when (failure is ZorvatException || failure is TimeoutException)
            {
                // The session is logged out on this side all the same, and the
                // server forgets sessions it no longer hears from.
            }
        }

        public ValueTask DisposeAsync()
        {
            return new ValueTask(LogoutQuietly());
        }

        private async Task LogoutQuietly()
        {
            try
            {
                await LogoutAsync().ConfigureAwait(false);
            }
            catch (Exception failure) when (failure is ZorvatException || failure is TimeoutException)
            {
            }
        }

        // ---- The work, synchronous or not ------------------------------------
        // With asynchronous false every step below completes before it returns,
        // so the synchronous methods' GetResult never blocks on a task.

        private async Task<Answer> LoginCore(bool asynchronous, CancellationToken token)
        {
            await Enter(asynchronous, token).ConfigureAwait(false);
            try
            {
                string current;
                lock (state)
                {
                    if (loggedIn) throw new ZorvatException("the session is already logged in");
                    current = record;
                }
                string newRecord = null;
                Answer answer = await Run(asynchronous, current, LoginCode, loginArguments, 1, 1, true,
                                          replaced => newRecord = replaced, null, token).ConfigureAwait(false);
                lock (state)
                {
                    record = newRecord ?? record;
                    loginAnswer = answer;
                    loggedIn = true;
                }
                return answer;
            }
            finally
            {
                changing.Release();
            }
        }

        private async Task<Answer> LogoutCore(bool asynchronous, CancellationToken token)
        {
            await Enter(asynchronous, token).ConfigureAwait(false);
            try
            {
                Task wait;
                string current;
                lock (state)
                {
                    if (!loggedIn) return null;
                    loggedIn = false;   // no new operation starts from here on
                    current = record;
                    drained = inFlight == 0 ? null : new TaskCompletionSource<bool>(
                        TaskCreationOptions.RunContinuationsAsynchronously);
                    wait = drained?.Task;
                }
                if (wait != null)
                {
                    if (asynchronous) await wait.ConfigureAwait(false);
                    else wait.Wait();
                }
                return await Run(asynchronous, current, LogoutCode, Iso885915.Encode("", "arguments"), 1, 1, false,
                                 null, null, token).ConfigureAwait(false);
            }
            finally
            {
                changing.Release();
            }
        }

        // Operations inside a session never negotiate: an uncoded message is
        // always the server's error text.
        private Answer ExecuteCore(byte code, byte[] argumentBytes, byte inputFormat, byte outputFormat,
                                   CancellationToken token)
        {
            string current = BeginOperation();
            try
            {
                return Run(false, current, code, argumentBytes, inputFormat, outputFormat, false, null, null, token)
                    .GetAwaiter().GetResult();
            }
            finally
            {
                EndOperation();
            }
        }

        // The task of the waiting thread itself, with no continuation of its
        // own: the operation's end is counted on that thread, and a
        // cancellation reaches the caller without an exception thrown on the way.
        private Task<Answer> ExecuteCoreAsync(byte code, byte[] argumentBytes, byte inputFormat, byte outputFormat,
                                              CancellationToken token)
        {
            string current;
            try
            {
                current = BeginOperation();
            }
            catch (ZorvatException failure)
            {
                var failed = new TaskCompletionSource<Answer>();
                failed.SetException(failure);
                return failed.Task;
            }
            try
            {
                return Run(true, current, code, argumentBytes, inputFormat, outputFormat, false, null, EndOperation,
                           token);
            }
            catch
            {
                EndOperation();
                throw;
            }
        }

        private string BeginOperation()
        {
            lock (state)
            {
                if (!loggedIn) throw new ZorvatException("the session is not logged in");
                inFlight++;
                return record;
            }
        }

        private void EndOperation()
        {
            lock (state)
            {
                if (--inFlight == 0 && drained != null) drained.TrySetResult(true);
            }
        }

        private Task Enter(bool asynchronous, CancellationToken token)
        {
            if (asynchronous) return changing.WaitAsync(token);
            changing.Wait(token);
            return Task.CompletedTask;
        }

        private Task<Answer> Run(bool asynchronous, string current, byte code, byte[] arguments, byte inputFormat,
                                 byte outputFormat, bool negotiated, Action<string> recordSink, Action finished,
                                 CancellationToken token)
        {
            byte[] recordBytes = Iso885915.Encode(current, "record");
            if (asynchronous)
            {
                OperationHandle operation = NativeMethods.ZvStartPersistentOperation(
                    recordBytes, code, arguments, inputFormat, outputFormat, 0, limits.ConnectMs, limits.IoMs);
                return OperationLoop.Run(operation, negotiated, recordSink, finished, token);
            }
            string replaced;
            Answer answer = RunBlocking(recordBytes, code, arguments, inputFormat, outputFormat, negotiated, token,
                                        out replaced);
            recordSink?.Invoke(replaced);
            return Task.FromResult(answer);
        }

        private unsafe Answer RunBlocking(byte[] recordBytes, byte code, byte[] arguments, byte inputFormat,
                                          byte outputFormat, bool negotiated, CancellationToken token,
                                          out string replaced)
        {
            LibraryString answer, message;
            LibraryString replacement = null;
            using (var flag = new CancelFlag(token))
            fixed (byte* given = recordBytes)
            {
                // The record goes in as ours; a login hands back a block of the
                // library's in its place, which is taken over at once.
                IntPtr info = (IntPtr)given;
                try
                {
                    answer = NativeMethods.ZvExecutePersistentOperationWithTimeouts(
                        out message, ref info, code, arguments, inputFormat, outputFormat, 0, limits.ConnectMs,
                        limits.IoMs, flag.Address);
                }
                finally
                {
                    if (info != (IntPtr)given && info != IntPtr.Zero) replacement = LibraryString.Adopt(info);
                }
            }
            replaced = replacement == null ? null : LibraryString.Take(replacement);
            return Failures.Outcome(answer, message, negotiated, token);
        }
    }
}
