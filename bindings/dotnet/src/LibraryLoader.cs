// Which copy of the library the P/Invoke name "Zorvat" stands for.
//
// 1. The path in the environment variable ZORVAT_LIBRARY, when set; a path
//    that cannot be loaded is an error of its own (no other copy is tried).
// 2. Otherwise the system's loader: libzorvat.so.1 on Linux (Mono's dllmap in
//    Zorvat.dll.config, or the resolver below on .NET), Zorvat.dll on Windows.
//
// .NET hands the name to the resolver registered here. Mono has no resolver:
// it loads the file first, and the dllmap name then finds the copy already
// loaded, as the system's loader matches libzorvat.so.1 by its soname and
// Zorvat.dll by its module name. Mono binds a P/Invoke before it runs the
// declaring class's type initializer, so the public types that lead to every
// call (CredentialOptions, ZorvatClient) call Prepare from theirs.
using System;
using System.IO;
using System.Runtime.InteropServices;

namespace Zorvat
{
    internal static class LibraryLoader
    {
        internal const string PathVariable = "ZORVAT_LIBRARY";

        private static readonly object Gate = new object();
        private static bool prepared;

        private static bool IsWindows => Path.DirectorySeparatorChar == '\\';

        internal static void Prepare()
        {
            lock (Gate)
            {
                if (prepared) return;
                prepared = true;
#if NET
                NativeLibrary.SetDllImportResolver(typeof(LibraryLoader).Assembly, Resolve);
#else
                string requested = Environment.GetEnvironmentVariable(PathVariable);
                if (string.IsNullOrEmpty(requested)) return;
                string failure = IsWindows ? LoadOnWindows(requested) : LoadOnPosix(requested);
                if (failure != null)
                    throw new DllNotFoundException(string.Format(
                        "zorvat: cannot load the library named by {0} ({1}): {2}", PathVariable, requested, failure));
#endif
            }
        }

#if NET
        private static IntPtr Resolve(string name, System.Reflection.Assembly assembly, DllImportSearchPath? path)
        {
            if (name == "libc" && !IsWindows) return NativeLibrary.Load("libc.so.6");
            if (name != NativeMethods.Library) return IntPtr.Zero;
            string requested = Environment.GetEnvironmentVariable(PathVariable);
            if (!string.IsNullOrEmpty(requested))
            {
                try
                {
                    return NativeLibrary.Load(requested);
                }
                catch (DllNotFoundException failure)
                {
                    throw new DllNotFoundException(string.Format(
                        "zorvat: cannot load the library named by {0} ({1}): {2}", PathVariable, requested,
                        failure.Message), failure);
                }
            }
            if (IsWindows) return IntPtr.Zero;   // the default search finds Zorvat.dll
            string[] names = OperatingSystem.IsMacOS()
                ? new[] { "libzorvat.1.dylib", "libzorvat.dylib" }
                : new[] { "libzorvat.so.1", "libzorvat.so" };
            foreach (string candidate in names)
            {
                IntPtr loaded;
                if (NativeLibrary.TryLoad(candidate, assembly, path, out loaded)) return loaded;
            }
            return IntPtr.Zero;
        }
#else
        // Each in a method of its own: Mono binds the P/Invokes of a method
        // when it compiles it, and kernel32 is not there on Linux.
        private static string LoadOnPosix(string file)
        {
            return dlopen(file, RtldNow | RtldGlobal) != IntPtr.Zero ? null : Marshal.PtrToStringAnsi(dlerror());
        }

        private static string LoadOnWindows(string file)
        {
            return LoadLibraryW(file) != IntPtr.Zero ? null : "error " + Marshal.GetLastWin32Error();
        }

        private const int RtldNow = 2;
        private const int RtldGlobal = 0x100;

        [DllImport("libdl.so.2")]
        private static extern IntPtr dlopen(string file, int mode);

        [DllImport("libdl.so.2")]
        private static extern IntPtr dlerror();

        [DllImport("kernel32", CharSet = CharSet.Unicode, SetLastError = true)]
        private static extern IntPtr LoadLibraryW(string file);
#endif
    }
}
