// poll(2) on Linux and WSAPoll on Windows over one array of descriptors,
// filled by the waiting thread before every wait.
using System;
using System.IO;
using System.Runtime.InteropServices;

namespace Zorvat
{
    internal sealed class Poller
    {
        [StructLayout(LayoutKind.Sequential)]
        private struct PosixPollFd
        {
            internal int Fd;
            internal short Events;
            internal short Revents;
        }

        [StructLayout(LayoutKind.Sequential)]
        private struct WindowsPollFd
        {
            internal IntPtr Fd;
            internal short Events;
            internal short Revents;
        }

        private static readonly bool Windows = Path.DirectorySeparatorChar == '\\';
        // POLLIN and POLLOUT; WSAPoll takes POLLRDNORM and POLLWRNORM alone.
        private static readonly short ReadEvent = (short)(Windows ? 0x0100 : 0x0001);
        private static readonly short WriteEvent = (short)(Windows ? 0x0010 : 0x0004);

        private PosixPollFd[] posix = new PosixPollFd[64];
        private WindowsPollFd[] windows = new WindowsPollFd[64];
        private int count;

        internal void Clear() => count = 0;

        /// <summary>Adds a descriptor to watch; returns its slot for Ready.</summary>
        internal int Add(long descriptor, bool write)
        {
            short events = write ? WriteEvent : ReadEvent;
            if (Windows)
            {
                if (count == windows.Length) Array.Resize(ref windows, count * 2);
                windows[count] = new WindowsPollFd { Fd = new IntPtr(descriptor), Events = events };
            }
            else
            {
                if (count == posix.Length) Array.Resize(ref posix, count * 2);
                posix[count] = new PosixPollFd { Fd = (int)descriptor, Events = events };
            }
            return count++;
        }

        /// <summary>Whether the slot's descriptor had an event (or an error) in the last wait.</summary>
        internal bool Ready(int slot) => (Windows ? windows[slot].Revents : posix[slot].Revents) != 0;

        /// <summary>Waits for an event or timeoutMs (-1: no limit).</summary>
        internal void Wait(int timeoutMs)
        {
            int result = Windows ? WSAPoll(windows, (uint)count, timeoutMs) : poll(posix, (ulong)count, timeoutMs);
            if (result >= 0) return;
            int error = Marshal.GetLastWin32Error();
            const int Interrupted = 4;   // EINTR: a signal; the caller polls again
            if (!Windows && error == Interrupted) return;
            throw new IOException("zorvat: waiting for the operations failed, error " + error);
        }

        [DllImport("libc", SetLastError = true)]
        private static extern int poll([In, Out] PosixPollFd[] fds, ulong count, int timeout);

        [DllImport("ws2_32.dll", SetLastError = true)]
        private static extern int WSAPoll([In, Out] WindowsPollFd[] fds, uint count, int timeout);
    }
}
