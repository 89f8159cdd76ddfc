using System;
using System.Collections.Generic;

namespace Zorvat
{
    /// <summary>
    /// A server's answer: its text, its items (split at 0x1C) and, for a keyed
    /// answer (the first item lists names separated by 0xFE, the name at
    /// position i naming item i), its items by name.
    /// </summary>
    public sealed class Answer
    {
        public const char ItemSeparator = '\x1C';
        public const char SubItemSeparator = '\u00FE';

        internal Answer(string text)
        {
            Text = text;
        }

        public string Text { get; }

        /// <summary>The items between 0x1C separators (one for text without any), as the
        /// library's ZvStrSplit finds them.</summary>
        public IReadOnlyList<string> Items
        {
            get
            {
                uint count;
                LibraryStringArray items = NativeMethods.ZvStrSplit(Iso885915.Encode(Text, "answer"),
                                                                   (byte)ItemSeparator, out count);
                string[] split = LibraryStringArray.Take(items, count);
                if (split == null) throw new OutOfMemoryException("ZvStrSplit returned null");
                return split;
            }
        }

        /// <summary>
        /// The item that the first item's list names name, as the library's
        /// ZvExtractData finds it (a name listed twice gives the later item).
        /// Throws KeyNotFoundException when no item has that name.
        /// </summary>
        public string this[string name]
        {
            get
            {
                string value;
                if (!TryGetValue(name, out value))
                    throw new KeyNotFoundException("the answer has no item named " + name);
                return value;
            }
        }

        /// <summary>The item named name, or false when there is none.</summary>
        public bool TryGetValue(string name, out string value)
        {
            value = LibraryString.Take(NativeMethods.ZvExtractData(
                Iso885915.Encode(Text, "answer"), Iso885915.Encode(name, nameof(name)),
                (byte)ItemSeparator, (byte)SubItemSeparator));
            return value != null;
        }

        public override string ToString() => Text;
    }
}
