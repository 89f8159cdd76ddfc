// zorvat-server (named by ZORVAT_SERVER) on an ephemeral loopback port.
using System;
using System.Diagnostics;
using System.Text.RegularExpressions;
using NUnit.Framework;

namespace Zorvat.Tests
{
    internal sealed class ReferenceServer : IDisposable
    {
        private readonly Process process;

        internal ReferenceServer(params string[] arguments)
        {
            string program = Environment.GetEnvironmentVariable("ZORVAT_SERVER");
            if (string.IsNullOrEmpty(program)) Assert.Ignore("ZORVAT_SERVER does not name the reference server");
            var start = new ProcessStartInfo(program, "--host 127.0.0.1 --port 0 " + string.Join(" ", arguments))
            {
                UseShellExecute = false,
                RedirectStandardOutput = true,
            };
            process = Process.Start(start);
            string first = process.StandardOutput.ReadLine() ?? "";
            Match listening = Regex.Match(first, @"^listening on .*:(\d+)$");
            if (!listening.Success)
            {
                Dispose();
                throw new InvalidOperationException("zorvat-server did not start: " + first);
            }
            Port = int.Parse(listening.Groups[1].Value);
        }

        internal int Port { get; }

        internal CredentialOptions Options(string item6 = "")
        {
            return new CredentialOptions("127.0.0.1", Port, "ACCOUNT", "alice", "pw", "", item6);
        }

        public void Dispose()
        {
            if (!process.HasExited) process.Kill();
            process.WaitForExit();
            process.Dispose();
        }
    }
}
