// Owners of the blocks the library hands out. The runtime stores a returned
// pointer straight into one of these, so a block is released exactly once,
// by Dispose or, failing that, by the finalizer, whatever the path.
using System;
using System.Runtime.InteropServices;

namespace Zorvat
{
    /// <summary>A string the library allocated; released with ZvFreeMemory.</summary>
    internal sealed class LibraryString : SafeHandle
    {
        public LibraryString() : base(IntPtr.Zero, true) { }

        public override bool IsInvalid => handle == IntPtr.Zero;

        /// <summary>The text, or null for a null pointer.</summary>
        public string Text()
        {
            if (IsInvalid) return null;
            bool added = false;
            try
            {
                DangerousAddRef(ref added);
                return Iso885915.Decode(handle);
            }
            finally
            {
                if (added) DangerousRelease();
            }
        }

        /// <summary>The text, and the block released at once.</summary>
        public static string Take(LibraryString block)
        {
            using (block) return block.Text();
        }

        /// <summary>Adopts a pointer that arrived outside the marshaller.</summary>
        public static LibraryString Adopt(IntPtr block)
        {
            var owner = new LibraryString();
            owner.SetHandle(block);
            return owner;
        }

        protected override bool ReleaseHandle()
        {
            NativeMethods.ZvFreeMemory(handle);
            return true;
        }
    }

    /// <summary>A string array the library allocated; released with its count.</summary>
    internal sealed class LibraryStringArray : SafeHandle
    {
        private uint count;

        public LibraryStringArray() : base(IntPtr.Zero, true) { }

        public override bool IsInvalid => handle == IntPtr.Zero;

        /// <summary>The items, the array released at once; null for a null pointer.</summary>
        public static string[] Take(LibraryStringArray array, uint count)
        {
            using (array)
            {
                if (array.IsInvalid) return null;
                array.count = count;
                var items = new string[count];
                for (int i = 0; i < items.Length; i++)
                {
                    IntPtr item = Marshal.ReadIntPtr(array.handle, i * IntPtr.Size);
                    items[i] = item == IntPtr.Zero ? "" : Iso885915.Decode(item);
                }
                return items;
            }
        }

        protected override bool ReleaseHandle()
        {
            NativeMethods.ZvFreeMemoryStringArray(handle, count);
            return true;
        }
    }

    /// <summary>
    /// An operation started with ZvStart...Operation. Finish hands it back to
    /// the library; one never finished (abandoned by a failure) is finished,
    /// and so cancelled, when the handle is released.
    /// </summary>
    internal sealed class OperationHandle : SafeHandle
    {
        public OperationHandle() : base(IntPtr.Zero, true) { }

        public override bool IsInvalid => handle == IntPtr.Zero;

        /// <summary>ZvFinishOperation: the answer, or null and the message.</summary>
        public LibraryString Finish(out LibraryString message, out LibraryString record)
        {
            // The call releases the operation: the handle gives it up first,
            // so no path can release it a second time.
            IntPtr operation = handle;
            SetHandleAsInvalid();
            return NativeMethods.ZvFinishOperation(operation, out message, out record);
        }

        protected override bool ReleaseHandle()
        {
            LibraryString message, record;
            NativeMethods.ZvFinishOperation(handle, out message, out record).Dispose();
            message.Dispose();
            record.Dispose();
            return true;
        }
    }
}
