using System;
using System.Collections.Generic;

namespace Zorvat
{
    /// <summary>Builds an operation's argument string.</summary>
    public static class Arguments
    {
        public const char Separator = '\x1F';

        /// <summary>
        /// The arguments joined with 0x1F. An argument holding 0x1F would shift
        /// every later one, so it is refused with ArgumentException.
        /// </summary>
        public static string Join(params string[] arguments)
        {
            foreach (string argument in arguments)
                if (argument == null || argument.IndexOf(Separator) >= 0)
                    throw new ArgumentException("an argument is null or holds the argument separator 0x1F",
                                                nameof(arguments));
            return string.Join(Separator.ToString(), arguments);
        }

        /// <summary>Sub-items joined with 0xFE into one argument; separators refused.</summary>
        public static string SubItems(params string[] subItems)
        {
            foreach (string subItem in subItems)
                if (subItem == null || subItem.IndexOf(Separator) >= 0 ||
                    subItem.IndexOf(Answer.SubItemSeparator) >= 0)
                    throw new ArgumentException("a sub-item is null or holds 0x1F or 0xFE", nameof(subItems));
            return string.Join(Answer.SubItemSeparator.ToString(), subItems);
        }
    }
}
