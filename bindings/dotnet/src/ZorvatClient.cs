// Operations outside any session, and the calls that sessions share.
//
// The class is not called Zorvat: a type named like its namespace makes every
// program that imports the namespace spell it Zorvat.Zorvat, or meet CS0118
// ("Zorvat is a namespace but is used like a type").
using System;
using System.Threading;
using System.Threading.Tasks;

namespace Zorvat
{
    /// <summary>Direct operations, and the version of the library loaded.</summary>
    public static class ZorvatClient
    {
        static ZorvatClient()
        {
            LibraryLoader.Prepare();
        }

        /// <summary>The loaded library's version, "major.minor.patch".</summary>
        public static string LibraryVersion
        {
            get
            {
                uint number = NativeMethods.ZvGetLibraryVersion();
                return string.Format("{0}.{1}.{2}", number / 10000, number / 100 % 100, number % 100);
            }
        }

        /// <summary>
        /// Runs one operation on the server that options describe, with a key
        /// agreed for this call alone, and returns the answer.
        /// </summary>
        /// <param name="arguments">The argument string (items separated by 0x1F; see Arguments).</param>
        /// <param name="timeout">The longest any one wait for the server may last (it starts
        /// again whenever bytes move); null waits as long as it takes.</param>
        /// <param name="connectTimeout">The longest the set-up of a connection may take.</param>
        /// <param name="cancellationToken">Stops the call within 100 ms with OperationCanceledException.</param>
        /// <exception cref="ArgumentException">Text outside ISO-8859-15, before anything is sent.</exception>
        /// <exception cref="ZorvatException">The library's "Cnnn: text"; ServerException for the
        /// server's own words; ZorvatTimeoutException (a TimeoutException) past a limit. Once the
        /// request was sent, a time-out or a cancellation does not say whether the server ran it.</exception>
        public static Answer ExecuteDirect(CredentialOptions options, byte operationCode, string arguments = "",
                                           byte inputFormat = 1, byte outputFormat = 1, TimeSpan? timeout = null,
                                           TimeSpan? connectTimeout = null,
                                           CancellationToken cancellationToken = default(CancellationToken))
        {
            if (options == null) throw new ArgumentNullException(nameof(options));
            byte[] record = options.RecordBytes();
            byte[] argumentBytes = Iso885915.Encode(arguments, nameof(arguments));
            var limits = new Limits(timeout, connectTimeout);
            LibraryString answer, message;
            using (var flag = new CancelFlag(cancellationToken))
            {
                answer = NativeMethods.ZvExecuteDirectOperationWithTimeouts(
                    out message, record, operationCode, argumentBytes, inputFormat, outputFormat, 0,
                    limits.ConnectMs, limits.IoMs, flag.Address);
            }
            return Failures.Outcome(answer, message, true, cancellationToken);
        }

        /// <summary>ExecuteDirect without blocking: the operation runs on the library-wide
        /// waiting thread, and cancelling the token completes the task as cancelled.</summary>
        public static Task<Answer> ExecuteDirectAsync(
            CredentialOptions options, byte operationCode, string arguments = "", byte inputFormat = 1,
            byte outputFormat = 1, TimeSpan? timeout = null, TimeSpan? connectTimeout = null,
            CancellationToken cancellationToken = default(CancellationToken))
        {
            if (options == null) throw new ArgumentNullException(nameof(options));
            byte[] record = options.RecordBytes();
            byte[] argumentBytes = Iso885915.Encode(arguments, nameof(arguments));
            var limits = new Limits(timeout, connectTimeout);
            OperationHandle operation = NativeMethods.ZvStartDirectOperation(
                record, operationCode, argumentBytes, inputFormat, outputFormat, 0, limits.ConnectMs, limits.IoMs);
            return OperationLoop.Run(operation, true, null, null, cancellationToken);
        }
    }
}
