using System;

namespace Zorvat
{
    /// <summary>
    /// The 8-item credential-options record for one server: where it is and
    /// what is presented to it. The items go into the login, direct and logout
    /// requests as they stand; their meaning is the server's business. The
    /// record is built once, here, and an instance does not change.
    /// </summary>
    public sealed class CredentialOptions : IEquatable<CredentialOptions>
    {
        static CredentialOptions()
        {
            LibraryLoader.Prepare();
        }

        private readonly string record;

        /// <summary>
        /// Throws ArgumentException for text outside ISO-8859-15, before
        /// anything is sent. An item holding the item separator 0x1C gives a
        /// record of more than 8 items, which an operation refuses (C031).
        /// </summary>
        public CredentialOptions(string host, int port, string credentialItem1 = "",
                                 string credentialItem3 = "", string credentialItem4 = "",
                                 string credentialItem5 = "", string credentialItem6 = "",
                                 string plugin = "")
        {
            byte[] hostBytes = Iso885915.Encode(host, nameof(host));
            byte[] item1 = Iso885915.Encode(credentialItem1, nameof(credentialItem1));
            byte[] item3 = Iso885915.Encode(credentialItem3, nameof(credentialItem3));
            byte[] item4 = Iso885915.Encode(credentialItem4, nameof(credentialItem4));
            byte[] item5 = Iso885915.Encode(credentialItem5, nameof(credentialItem5));
            byte[] item6 = Iso885915.Encode(credentialItem6, nameof(credentialItem6));
            byte[] pluginBytes = Iso885915.Encode(plugin, nameof(plugin));
            record = LibraryString.Take(NativeMethods.ZvCreateCredentialOptionsPlugin(
                hostBytes, item1, port, item3, item4, item5, item6, pluginBytes));
            if (record == null) throw new OutOfMemoryException("ZvCreateCredentialOptionsPlugin returned null");
            Host = host;
            Port = port;
            CredentialItem1 = credentialItem1;
            CredentialItem3 = credentialItem3;
            CredentialItem4 = credentialItem4;
            CredentialItem5 = credentialItem5;
            CredentialItem6 = credentialItem6;
            Plugin = plugin;
        }

        public string Host { get; }
        public int Port { get; }
        public string CredentialItem1 { get; }
        public string CredentialItem3 { get; }
        public string CredentialItem4 { get; }
        public string CredentialItem5 { get; }
        public string CredentialItem6 { get; }
        public string Plugin { get; }

        /// <summary>The record string: the 8 items separated by 0x1C.</summary>
        public string Record => record;

        internal byte[] RecordBytes() => Iso885915.Encode(record, "options");

        public bool Equals(CredentialOptions other) => other != null && other.record == record;
        public override bool Equals(object other) => Equals(other as CredentialOptions);
        public override int GetHashCode() => record.GetHashCode();

        // The credential items may hold a password: only where to connect is shown.
        public override string ToString() => string.Format("CredentialOptions({0}:{1}, ...)", Host, Port);
    }
}
