// The character set of every string that crosses the library's interface.
// ISO-8859-15 is Latin-1 with eight places changed; the table below holds
// them, so no code-page provider is needed (Mono and .NET 8 without
// System.Text.Encoding.CodePages lack one).
using System;

namespace Zorvat
{
    /// <summary>Strict conversion between strings and ISO-8859-15 bytes.</summary>
    public static class Iso885915
    {
        // The bytes where ISO-8859-15 differs from Latin-1, and their characters.
        private static readonly byte[] ChangedBytes = { 0xA4, 0xA6, 0xA8, 0xB4, 0xB8, 0xBC, 0xBD, 0xBE };
        private static readonly char[] ChangedChars =
            { '\u20AC', '\u0160', '\u0161', '\u017D', '\u017E', '\u0152', '\u0153', '\u0178' };

        private static readonly char[] ByteToChar = BuildDecodeTable();

        private static char[] BuildDecodeTable()
        {
            var table = new char[256];
            for (int i = 0; i < 256; i++) table[i] = (char)i;
            for (int i = 0; i < ChangedBytes.Length; i++) table[ChangedBytes[i]] = ChangedChars[i];
            return table;
        }

        /// <summary>Whether the character has a byte in ISO-8859-15 (NUL excluded).</summary>
        public static bool CanEncode(char c)
        {
            return TryEncode(c, out _) && c != '\0';
        }

        private static bool TryEncode(char c, out byte encoded)
        {
            encoded = (byte)c;
            if (c < 0x100) return Array.IndexOf(ChangedBytes, (byte)c) < 0;
            int changed = Array.IndexOf(ChangedChars, c);
            if (changed < 0) return false;
            encoded = ChangedBytes[changed];
            return true;
        }

        /// <summary>
        /// The bytes of text with a terminating NUL, as the library takes them.
        /// Throws ArgumentException naming parameter for a character outside
        /// ISO-8859-15 or a NUL (which would end the text early).
        /// </summary>
        public static byte[] Encode(string text, string parameter)
        {
            if (text == null) throw new ArgumentNullException(parameter);
            var bytes = new byte[text.Length + 1];
            for (int i = 0; i < text.Length; i++)
            {
                char c = text[i];
                if (c == '\0')
                    throw new ArgumentException(
                        "the text holds a NUL character, which cannot cross the C interface", parameter);
                if (!TryEncode(c, out bytes[i]))
                    throw new ArgumentException(
                        string.Format("U+{0:X4} at position {1} has no place in ISO-8859-15", (int)c, i),
                        parameter);
            }
            return bytes;
        }

        /// <summary>The string for NUL-terminated ISO-8859-15 bytes.</summary>
        internal static unsafe string Decode(IntPtr text)
        {
            byte* start = (byte*)text;
            byte* end = start;
            while (*end != 0) end++;
            var chars = new char[end - start];
            for (long i = 0; i < chars.LongLength; i++) chars[i] = ByteToChar[start[i]];
            return new string(chars);
        }
    }
}
