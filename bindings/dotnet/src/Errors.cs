// The exceptions of a failed operation. The library reports one by a message
// alone: "Cnnn: text" for its own failures, or the server's own words.
using System;
using System.Text.RegularExpressions;
using System.Threading;

namespace Zorvat
{
    /// <summary>
    /// An operation failed. Code is the number of the library's "Cnnn: text"
    /// message, or null for a message without one; Message is the library's
    /// message exactly.
    /// </summary>
    public class ZorvatException : Exception
    {
        public ZorvatException(string message, int? code = null) : base(message)
        {
            Code = code;
        }

        public int? Code { get; }
    }

    /// <summary>
    /// The server's own error text. A direct operation or a login first agrees
    /// a key with the server, and the library hands over the server's words in
    /// the same way whether it refused that negotiation or flagged an error in
    /// its answer: Negotiated says whether the call negotiated, so that the
    /// text may be a refusal.
    /// </summary>
    public class ServerException : ZorvatException
    {
        public ServerException(string message, bool negotiated) : base(message)
        {
            Negotiated = negotiated;
        }

        public bool Negotiated { get; }
    }

    /// <summary>
    /// The server took longer than a call's limit. Once the request was sent,
    /// the server may have run the operation all the same.
    /// </summary>
    public class ZorvatTimeoutException : TimeoutException
    {
        public ZorvatTimeoutException(string message, int code) : base(message)
        {
            Code = code;
        }

        /// <summary>105 (connecting) or 407 (waiting for the server).</summary>
        public int Code { get; }
    }

    /// <summary>C105: no address of the server connected within the connect timeout.</summary>
    public class ConnectTimeoutException : ZorvatTimeoutException
    {
        public ConnectTimeoutException(string message) : base(message, 105) { }
    }

    /// <summary>C407: a wait for the server's next bytes ran past the timeout.</summary>
    public class WaitTimeoutException : ZorvatTimeoutException
    {
        public WaitTimeoutException(string message) : base(message, 407) { }
    }

    internal static class Failures
    {
        private const int Cancelled = 408;
        private static readonly Regex CodedMessage = new Regex(@"^C(\d{3,}): ", RegexOptions.CultureInvariant);

        /// <summary>
        /// The exception for a failed call's message. A cancellation (C408)
        /// through token is the token's OperationCanceledException.
        /// </summary>
        internal static Exception For(string message, bool negotiated, CancellationToken token)
        {
            if (message == null)
                return new ZorvatException("the operation failed and the library gave no message");
            Match coded = CodedMessage.Match(message);
            if (!coded.Success) return new ServerException(message, negotiated);
            int code;
            if (!int.TryParse(coded.Groups[1].Value, out code)) return new ZorvatException(message);
            switch (code)
            {
                case 105: return new ConnectTimeoutException(message);
                case 407: return new WaitTimeoutException(message);
                case Cancelled:
                    if (token.IsCancellationRequested) return new OperationCanceledException(message, token);
                    break;
            }
            return new ZorvatException(message, code);
        }

        /// <summary>The answer's text, or the exception that the message stands for.</summary>
        internal static Answer Outcome(LibraryString answer, LibraryString message, bool negotiated,
                                       CancellationToken token)
        {
            using (answer)
            using (message)
            {
                if (!answer.IsInvalid && message.IsInvalid) return new Answer(answer.Text());
                throw For(message.Text(), negotiated, token);
            }
        }
    }
}
