// The library's exported functions, declared with their exact C signatures.
// Text goes in as NUL-terminated ISO-8859-15 byte arrays (see Iso885915);
// every block the library hands back arrives in a SafeHandle that releases it.
using System;
using System.Runtime.InteropServices;

namespace Zorvat
{
    internal static class NativeMethods
    {
        // The name that Mono's dllmap (Zorvat.dll.config) and .NET's resolver
        // (LibraryLoader) turn into libzorvat.so.1; Windows finds Zorvat.dll as is.
        internal const string Library = "Zorvat";

        internal const int OperationDone = 0;
        internal const int OperationWantsRead = 1;
        internal const int OperationWantsWrite = 2;
        internal const uint NoTimeout = 0xFFFFFFFF;

        [DllImport(Library)]
        internal static extern uint ZvGetLibraryVersion();

        [DllImport(Library)]
        internal static extern LibraryString ZvExecuteDirectOperationWithTimeouts(
            out LibraryString errorMessage, byte[] credentialOptions, byte operationCode,
            byte[] operationArguments, byte inputFormat, byte outputFormat, uint reservedValue,
            uint connectTimeoutMs, uint ioTimeoutMs, IntPtr cancelFlag);

        // connectionInfo is in/out: the caller's pinned record goes in, and a
        // successful login replaces it with a block of the library's.
        [DllImport(Library)]
        internal static extern LibraryString ZvExecutePersistentOperationWithTimeouts(
            out LibraryString errorMessage, ref IntPtr connectionInfo, byte operationCode,
            byte[] operationArguments, byte inputFormat, byte outputFormat, uint reservedValue,
            uint connectTimeoutMs, uint ioTimeoutMs, IntPtr cancelFlag);

        [DllImport(Library)]
        internal static extern OperationHandle ZvStartDirectOperation(
            byte[] credentialOptions, byte operationCode, byte[] operationArguments,
            byte inputFormat, byte outputFormat, uint reservedValue, uint connectTimeoutMs,
            uint ioTimeoutMs);

        [DllImport(Library)]
        internal static extern OperationHandle ZvStartPersistentOperation(
            byte[] connectionInfo, byte operationCode, byte[] operationArguments,
            byte inputFormat, byte outputFormat, uint reservedValue, uint connectTimeoutMs,
            uint ioTimeoutMs);

        [DllImport(Library)]
        internal static extern int ZvPollOperation(OperationHandle operation);

        [DllImport(Library)]
        internal static extern long ZvGetOperationSocket(OperationHandle operation);

        [DllImport(Library)]
        internal static extern uint ZvGetOperationTimeout(OperationHandle operation);

        // Takes the operation's raw pointer: finishing releases it, so the
        // handle gives it up first (OperationHandle.Finish).
        [DllImport(Library)]
        internal static extern LibraryString ZvFinishOperation(
            IntPtr operation, out LibraryString errorMessage, out LibraryString connectionInfo);

        [DllImport(Library)]
        internal static extern LibraryString ZvCreateConnectionInfo(
            byte[] credentialOptions, int reservedValue);

        [DllImport(Library)]
        internal static extern LibraryString ZvExtractDataFromConnectionInfo(
            byte[] connectionInfo, uint index);

        [DllImport(Library)]
        internal static extern LibraryString ZvCreateCredentialOptionsPlugin(
            byte[] host, byte[] credentialItem1, int port, byte[] credentialItem3,
            byte[] credentialItem4, byte[] credentialItem5, byte[] credentialItem6,
            byte[] plugin);

        [DllImport(Library)]
        internal static extern LibraryStringArray ZvStrSplit(
            byte[] text, byte separator, out uint count);

        [DllImport(Library)]
        internal static extern LibraryString ZvExtractData(
            byte[] data, byte[] key, byte itemSeparator, byte keySeparator);

        [DllImport(Library)]
        internal static extern void ZvFreeMemory(IntPtr block);

        [DllImport(Library)]
        internal static extern void ZvFreeMemoryStringArray(IntPtr array, uint count);
    }
}
