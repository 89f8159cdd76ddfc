// The time limits of a call, and the flag that cancels a blocking one.
using System;
using System.Runtime.InteropServices;
using System.Threading;

namespace Zorvat
{
    /// <summary>A call's limits in the library's milliseconds (0: none).</summary>
    internal struct Limits
    {
        internal readonly uint ConnectMs;
        internal readonly uint IoMs;

        internal Limits(TimeSpan? timeout, TimeSpan? connectTimeout)
        {
            IoMs = Milliseconds(timeout, nameof(timeout));
            ConnectMs = Milliseconds(connectTimeout, nameof(connectTimeout));
        }

        /// <summary>
        /// null or Timeout.InfiniteTimeSpan: no limit. Otherwise above zero and
        /// below 2^32 ms, rounded up so that a limit never ends early.
        /// </summary>
        private static uint Milliseconds(TimeSpan? limit, string parameter)
        {
            if (limit == null || limit.Value == Timeout.InfiniteTimeSpan) return 0;
            double ms = Math.Ceiling(limit.Value.Ticks / (double)TimeSpan.TicksPerMillisecond);
            if (limit.Value <= TimeSpan.Zero || ms >= uint.MaxValue)
                throw new ArgumentOutOfRangeException(parameter, limit.Value,
                    "a limit must lie above zero and below 4294967.295 seconds");
            return (uint)ms;
        }
    }

    /// <summary>
    /// The library's cancel flag in unmanaged memory (it must stay put while
    /// a call reads it), set when the token is cancelled.
    /// </summary>
    internal sealed class CancelFlag : IDisposable
    {
        private IntPtr flag;
        private CancellationTokenRegistration registration;

        internal CancelFlag(CancellationToken token)
        {
            if (!token.CanBeCanceled) return;
            flag = Marshal.AllocHGlobal(sizeof(int));
            Marshal.WriteInt32(flag, 0);
            // Runs at once when the token is already cancelled: the library
            // then stops before it connects.
            registration = token.Register(state => Marshal.WriteInt32((IntPtr)state, 1), flag);
        }

        /// <summary>The flag's address, or zero when the token cannot be cancelled.</summary>
        internal IntPtr Address => flag;

        public void Dispose()
        {
            if (flag == IntPtr.Zero) return;
            // Waits for a callback that is running, so the memory outlives it.
            registration.Dispose();
            Marshal.FreeHGlobal(flag);
            flag = IntPtr.Zero;
        }
    }
}
