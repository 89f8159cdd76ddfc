"""Low-level access to the shared library.

Every exported function is declared here under its own name with its exact C
signature, so it can be called directly through ctypes. Whatever the library
allocates comes back as a raw pointer (``OwnedString``, ``OwnedStringArray``);
the helpers below copy it into Python bytes and release it with
``ZvFreeMemory`` or ``ZvFreeMemoryStringArray`` at once, on every path.

The helpers take text as ``bytes`` (used as they stand) or ``str`` (encoded to
ISO-8859-15, strictly) and return ``bytes``. A NUL character cannot cross the
C interface, so text that holds one is refused with ValueError instead of
being cut short silently.
"""

from __future__ import annotations

import ctypes
from ctypes import POINTER, c_char, c_char_p, c_int32, c_uint8, c_uint32, c_void_p
from typing import Any, List, Optional, Sequence, Tuple, Union

from ._loader import load_library

__all__ = [
    "LIBRARY",
    "LIBRARY_PATH",
    "ENCODING",
    "ITEM_SEPARATOR_BYTE",
    "ARGUMENT_SEPARATOR_BYTE",
    "SUBITEM_SEPARATOR_BYTE",
    "CREDENTIAL_OPTIONS_ITEMS",
    "CONNECTION_INFO_ITEMS",
    "OwnedString",
    "OwnedStringArray",
    "Text",
    "to_c_text",
    "take_string",
    "take_string_array",
    "split",
    "join",
    "extract_from_split",
    "cat",
    "extract_data",
    "create_credential_options",
    "credential_options_items",
    "create_connection_info",
    "change_connection_info",
    "connection_info_items",
    "connection_info_item",
    "execute_direct_operation",
    "execute_persistent_operation",
    "CancelFlag",
]

#: The character set of every string that crosses the C interface.
ENCODING = "iso-8859-15"

ITEM_SEPARATOR_BYTE = 0x1C
ARGUMENT_SEPARATOR_BYTE = 0x1F
SUBITEM_SEPARATOR_BYTE = 0xFE
CREDENTIAL_OPTIONS_ITEMS = 8
CONNECTION_INFO_ITEMS = 12

#: Text accepted by the helpers: bytes as they stand, or str to be encoded.
Text = Union[str, bytes, bytearray, memoryview]

#: A ``char*`` that the library allocated; release with ZvFreeMemory.
OwnedString = POINTER(c_char)
#: A ``char**`` string array that the library allocated; release with
#: ZvFreeMemoryStringArray and its count.
OwnedStringArray = POINTER(OwnedString)

LIBRARY, LIBRARY_PATH = load_library()


def _declare(name: str, result: Any, *parameters: Any) -> Any:
    try:
        function = getattr(LIBRARY, name)
    except AttributeError:
        raise ImportError(
            f"zorvat: the library at {LIBRARY_PATH} does not export {name}; "
            "it is not a complete build of libzorvat"
        ) from None
    function.restype = result
    function.argtypes = list(parameters)
    return function


# ---- Operations ----------------------------------------------------------

ZvExecuteDirectOperation = _declare(
    "ZvExecuteDirectOperation",
    OwnedString,
    POINTER(OwnedString),  # char** errorMessage
    c_char_p,  # const char* credentialOptions
    c_uint8,  # uint8_t operationCode
    c_char_p,  # const char* operationArguments
    c_uint8,  # uint8_t inputFormat
    c_uint8,  # uint8_t outputFormat
    c_uint32,  # uint32_t reservedValue
)
ZvExecutePersistentOperation = _declare(
    "ZvExecutePersistentOperation",
    OwnedString,
    POINTER(OwnedString),  # char** errorMessage
    POINTER(OwnedString),  # char** connectionInfo (in/out)
    c_uint8,
    c_char_p,
    c_uint8,
    c_uint8,
    c_uint32,
)

_WAIT_LIMITS = (
    c_uint32,  # uint32_t connectTimeoutMs
    c_uint32,  # uint32_t ioTimeoutMs
    POINTER(c_int32),  # const int32_t* cancelFlag
)
ZvExecuteDirectOperationWithTimeouts = _declare(
    "ZvExecuteDirectOperationWithTimeouts",
    OwnedString,
    *ZvExecuteDirectOperation.argtypes,
    *_WAIT_LIMITS,
)
ZvExecutePersistentOperationWithTimeouts = _declare(
    "ZvExecutePersistentOperationWithTimeouts",
    OwnedString,
    *ZvExecutePersistentOperation.argtypes,
    *_WAIT_LIMITS,
)

# The operation that an event loop drives; the handle is opaque.
_START = (c_char_p, c_uint8, c_char_p, c_uint8, c_uint8, c_uint32, c_uint32, c_uint32)
ZvStartDirectOperation = _declare("ZvStartDirectOperation", c_void_p, *_START)
ZvStartPersistentOperation = _declare("ZvStartPersistentOperation", c_void_p, *_START)
ZvPollOperation = _declare("ZvPollOperation", c_int32, c_void_p)
ZvGetOperationSocket = _declare("ZvGetOperationSocket", ctypes.c_int64, c_void_p)
ZvGetOperationTimeout = _declare("ZvGetOperationTimeout", c_uint32, c_void_p)
ZvFinishOperation = _declare(
    "ZvFinishOperation",
    OwnedString,
    c_void_p,  # ZvOperation* operation
    POINTER(OwnedString),  # char** errorMessage
    POINTER(OwnedString),  # char** connectionInfo (out, a login's new record)
)

#: The flag that cancels a running operation: set its value to 1 from another
#: thread. The library only reads it.
CancelFlag = c_int32

# ---- Connection-info record ----------------------------------------------

ZvCreateConnectionInfo = _declare("ZvCreateConnectionInfo", OwnedString, c_char_p, c_int32)
ZvChangeConnectionInfo = _declare(
    "ZvChangeConnectionInfo", OwnedString, c_char_p, c_uint32, c_char_p
)
ZvExtractAllDataFromConnectionInfo = _declare(
    "ZvExtractAllDataFromConnectionInfo", OwnedStringArray, c_char_p
)
ZvExtractDataFromConnectionInfo = _declare(
    "ZvExtractDataFromConnectionInfo", OwnedString, c_char_p, c_uint32
)

# ---- Credential-options record -------------------------------------------

ZvCreateCredentialOptions = _declare(
    "ZvCreateCredentialOptions",
    OwnedString,
    c_char_p,  # host
    c_char_p,  # credentialItem1
    c_int32,  # port
    c_char_p,  # credentialItem3
    c_char_p,  # credentialItem4
    c_char_p,  # credentialItem5
    c_char_p,  # credentialItem6
)
ZvCreateCredentialOptionsPlugin = _declare(
    "ZvCreateCredentialOptionsPlugin",
    OwnedString,
    c_char_p,
    c_char_p,
    c_int32,
    c_char_p,
    c_char_p,
    c_char_p,
    c_char_p,
    c_char_p,  # plugin
)
ZvExtractAllDataFromCredentialOptions = _declare(
    "ZvExtractAllDataFromCredentialOptions", OwnedStringArray, c_char_p
)
ZvExtractDataFromCredentialOptions = _declare(
    "ZvExtractDataFromCredentialOptions", OwnedString, c_char_p, c_uint32
)

# ---- String toolkit and release ------------------------------------------

ZvStrSplit = _declare("ZvStrSplit", OwnedStringArray, c_char_p, c_uint8, POINTER(c_uint32))
ZvStrJoin = _declare("ZvStrJoin", OwnedString, POINTER(c_char_p), c_uint32, c_char_p)
ZvExtractFromSplit = _declare("ZvExtractFromSplit", OwnedString, c_char_p, c_uint8, c_uint32)
ZvCatString = _declare("ZvCatString", OwnedString, c_char_p, c_char_p, c_char_p)
ZvExtractData = _declare("ZvExtractData", OwnedString, c_char_p, c_char_p, c_uint8, c_uint8)
ZvFreeMemory = _declare("ZvFreeMemory", None, c_void_p)
ZvFreeMemoryStringArray = _declare("ZvFreeMemoryStringArray", None, OwnedStringArray, c_uint32)
WrapperPy_ZvFreeMemoryStringArray = _declare(
    "WrapperPy_ZvFreeMemoryStringArray", None, OwnedStringArray, c_uint32
)

# ---- Version --------------------------------------------------------------

ZvGetLibraryVersion = _declare("ZvGetLibraryVersion", c_uint32)


def library_version() -> str:
    """The loaded library's version as "major.minor.patch"."""
    number = ZvGetLibraryVersion()
    return f"{number // 10000}.{number // 100 % 100}.{number % 100}"


# ---- Taking ownership of results -----------------------------------------


def take_string(pointer: Any) -> Optional[bytes]:
    """Copies a string the library returned and releases it; None for null."""
    if not pointer:
        return None
    try:
        return ctypes.string_at(pointer)
    finally:
        ZvFreeMemory(pointer)


def take_string_array(pointer: Any, count: int) -> Optional[List[bytes]]:
    """Copies the items of a string array and releases it with its count."""
    if not pointer:
        return None
    try:
        return [ctypes.string_at(pointer[i]) if pointer[i] else b"" for i in range(count)]
    finally:
        WrapperPy_ZvFreeMemoryStringArray(pointer, count)


# ---- Checking what goes in -----------------------------------------------


def to_c_text(value: Text, name: str = "text") -> bytes:
    """The bytes that stand for value at the C interface.

    str is encoded to ISO-8859-15 strictly (UnicodeEncodeError for a
    character outside it); bytes-like values are taken as they stand. A NUL
    would end the C string early, so it is refused with ValueError.
    """
    if isinstance(value, str):
        encoded = value.encode(ENCODING)
    elif isinstance(value, (bytes, bytearray, memoryview)):
        encoded = bytes(value)
    else:
        raise TypeError(f"{name} must be str or bytes, not {type(value).__name__}")
    if b"\0" in encoded:
        raise ValueError(f"{name} holds a NUL character, which cannot cross the C interface")
    return encoded


def _optional_c_text(value: Optional[Text], name: str) -> Optional[bytes]:
    return None if value is None else to_c_text(value, name)


def _checked_integer(value: int, name: str, lowest: int, highest: int) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{name} must be an int, not {type(value).__name__}")
    if not lowest <= value <= highest:
        # ctypes would silently keep only the low bits of the number.
        raise ValueError(f"{name} must lie between {lowest} and {highest}, not {value}")
    return value


def checked_byte(value: int, name: str) -> int:
    """value as an unsigned 8-bit number, or ValueError/TypeError."""
    return _checked_integer(value, name, 0, 0xFF)


def checked_uint32(value: int, name: str) -> int:
    """value as an unsigned 32-bit number, or ValueError/TypeError."""
    return _checked_integer(value, name, 0, 0xFFFFFFFF)


def checked_int32(value: int, name: str) -> int:
    """value as a signed 32-bit number, or ValueError/TypeError."""
    return _checked_integer(value, name, -(2**31), 2**31 - 1)


def _separator_byte(separator: Union[int, Text], name: str = "separator") -> int:
    if isinstance(separator, (str, bytes, bytearray, memoryview)):
        encoded = to_c_text(separator, name)
        if len(encoded) != 1:
            raise ValueError(f"{name} must be a single byte, not {encoded!r}")
        return encoded[0]
    return checked_byte(separator, name)


# ---- String toolkit ------------------------------------------------------


def split(data: Text, separator: Union[int, Text]) -> List[bytes]:
    """The items of data between separator bytes (n separators, n + 1 items)."""
    count = c_uint32(0)
    array = ZvStrSplit(to_c_text(data, "data"), _separator_byte(separator), ctypes.byref(count))
    items = take_string_array(array, count.value)
    if items is None:
        raise MemoryError("ZvStrSplit returned null")
    return items


def join(items: Sequence[Text], separator: Text) -> bytes:
    """The items joined with the separator string; empty for no items."""
    encoded = [to_c_text(item, "item") for item in items]
    if not encoded:
        return b""  # the library has no result for nothing to join
    array = (c_char_p * len(encoded))(*encoded)
    result = take_string(
        ZvStrJoin(array, checked_uint32(len(encoded), "count"), to_c_text(separator, "separator"))
    )
    if result is None:
        raise MemoryError("ZvStrJoin returned null")
    return result


def extract_from_split(data: Text, separator: Union[int, Text], index: int) -> Optional[bytes]:
    """Item index (0-based) of data split at separator; None past the last item."""
    return take_string(
        ZvExtractFromSplit(
            to_c_text(data, "data"), _separator_byte(separator), checked_uint32(index, "index")
        )
    )


def cat(first: Optional[Text], second: Optional[Text], separator: Optional[Text] = None) -> bytes:
    """first + separator + second; None counts as empty."""
    result = take_string(
        ZvCatString(
            _optional_c_text(first, "first"),
            _optional_c_text(second, "second"),
            _optional_c_text(separator, "separator"),
        )
    )
    if result is None:
        raise MemoryError("ZvCatString returned null")
    return result


def extract_data(
    data: Text,
    key: Text,
    item_separator: Union[int, Text] = ITEM_SEPARATOR_BYTE,
    key_separator: Union[int, Text] = SUBITEM_SEPARATOR_BYTE,
) -> Optional[bytes]:
    """The item of a keyed answer that its key list names key, or None.

    The first item of data lists the keys (separated by key_separator); key i
    names item i, and the last matching key wins.
    """
    return take_string(
        ZvExtractData(
            to_c_text(data, "data"),
            to_c_text(key, "key"),
            _separator_byte(item_separator, "item_separator"),
            _separator_byte(key_separator, "key_separator"),
        )
    )


# ---- Records -------------------------------------------------------------


def create_credential_options(
    host: Text,
    credential_item1: Text,
    port: int,
    credential_item3: Text,
    credential_item4: Text,
    credential_item5: Text,
    credential_item6: Text,
    plugin: Text = b"",
) -> bytes:
    """The 8-item credential-options record, in the library's item order."""
    result = take_string(
        ZvCreateCredentialOptionsPlugin(
            to_c_text(host, "host"),
            to_c_text(credential_item1, "credential_item1"),
            checked_int32(port, "port"),
            to_c_text(credential_item3, "credential_item3"),
            to_c_text(credential_item4, "credential_item4"),
            to_c_text(credential_item5, "credential_item5"),
            to_c_text(credential_item6, "credential_item6"),
            to_c_text(plugin, "plugin"),
        )
    )
    if result is None:
        raise MemoryError("ZvCreateCredentialOptionsPlugin returned null")
    return result


def credential_options_items(record: Text) -> Optional[List[bytes]]:
    """The 8 items of a credential-options record; None when it has another count."""
    return take_string_array(
        ZvExtractAllDataFromCredentialOptions(to_c_text(record, "record")),
        CREDENTIAL_OPTIONS_ITEMS,
    )


def create_connection_info(credential_options: Text, reserved_value: int = 0) -> bytes:
    """A connection-info record (12 items) with empty session items."""
    result = take_string(
        ZvCreateConnectionInfo(
            to_c_text(credential_options, "credential_options"),
            checked_int32(reserved_value, "reserved_value"),
        )
    )
    if result is None:
        raise MemoryError("ZvCreateConnectionInfo returned null")
    return result


def change_connection_info(record: Text, index: int, value: Text) -> Optional[bytes]:
    """A copy of the record with item index replaced; None when refused."""
    return take_string(
        ZvChangeConnectionInfo(
            to_c_text(record, "record"), checked_uint32(index, "index"), to_c_text(value, "value")
        )
    )


def connection_info_items(record: Text) -> Optional[List[bytes]]:
    """The 12 items of a connection-info record; None when it has another count."""
    return take_string_array(
        ZvExtractAllDataFromConnectionInfo(to_c_text(record, "record")), CONNECTION_INFO_ITEMS
    )


def connection_info_item(record: Text, index: int) -> Optional[bytes]:
    """Item index of a connection-info record, or None."""
    return take_string(
        ZvExtractDataFromConnectionInfo(to_c_text(record, "record"), checked_uint32(index, "index"))
    )


# ---- Operations ----------------------------------------------------------


def _wait_limits(connect_timeout_ms: int, io_timeout_ms: int, cancel_flag: Optional[Any]) -> Tuple:
    if cancel_flag is not None and not isinstance(cancel_flag, CancelFlag):
        raise TypeError(f"cancel_flag must be a zorvat.native.CancelFlag, not {type(cancel_flag).__name__}")
    return (
        checked_uint32(connect_timeout_ms, "connect_timeout_ms"),
        checked_uint32(io_timeout_ms, "io_timeout_ms"),
        None if cancel_flag is None else ctypes.byref(cancel_flag),
    )


def execute_direct_operation(
    credential_options: Text,
    operation_code: int,
    arguments: Text = b"",
    input_format: int = 1,
    output_format: int = 1,
    reserved_value: int = 0,
    connect_timeout_ms: int = 0,
    io_timeout_ms: int = 0,
    cancel_flag: Optional[CancelFlag] = None,
) -> Tuple[Optional[bytes], Optional[bytes]]:
    """Runs ZvExecuteDirectOperationWithTimeouts; returns (answer, message).

    Exactly one of the two is None on a well-behaved library; both are None
    when it could not even allocate a message. The limits are milliseconds,
    0 for none; cancel_flag is a CancelFlag that another thread may set.
    """
    options = to_c_text(credential_options, "credential_options")
    code = checked_byte(operation_code, "operation_code")
    argument_text = to_c_text(arguments, "arguments")
    input_byte = checked_byte(input_format, "input_format")
    output_byte = checked_byte(output_format, "output_format")
    reserved = checked_uint32(reserved_value, "reserved_value")
    limits = _wait_limits(connect_timeout_ms, io_timeout_ms, cancel_flag)

    message = OwnedString()
    answer = OwnedString()
    try:
        answer = ZvExecuteDirectOperationWithTimeouts(
            ctypes.byref(message),
            options,
            code,
            argument_text,
            input_byte,
            output_byte,
            reserved,
            *limits,
        )
    finally:
        message_bytes = take_string(message)
        answer_bytes = take_string(answer)
    return answer_bytes, message_bytes


def execute_persistent_operation(
    connection_info: Text,
    operation_code: int,
    arguments: Text = b"",
    input_format: int = 1,
    output_format: int = 1,
    reserved_value: int = 0,
    connect_timeout_ms: int = 0,
    io_timeout_ms: int = 0,
    cancel_flag: Optional[CancelFlag] = None,
) -> Tuple[Optional[bytes], Optional[bytes], bytes]:
    """Runs ZvExecutePersistentOperationWithTimeouts; returns (answer, message, record).

    record is the connection-info record after the call: the one given, or
    the new one that a successful login handed back (copied, and the
    library's string released).
    """
    record_bytes = to_c_text(connection_info, "connection_info")
    code = checked_byte(operation_code, "operation_code")
    argument_text = to_c_text(arguments, "arguments")
    input_byte = checked_byte(input_format, "input_format")
    output_byte = checked_byte(output_format, "output_format")
    reserved = checked_uint32(reserved_value, "reserved_value")
    limits = _wait_limits(connect_timeout_ms, io_timeout_ms, cancel_flag)

    # The record passed in stays ours: a Python buffer the library only reads.
    # When the library stores a new record in its place, that one is the
    # library's allocation and is copied out and released below.
    given = ctypes.create_string_buffer(record_bytes)
    given_address = ctypes.addressof(given)
    record = ctypes.cast(given, OwnedString)
    message = OwnedString()
    answer = OwnedString()
    try:
        answer = ZvExecutePersistentOperationWithTimeouts(
            ctypes.byref(message),
            ctypes.byref(record),
            code,
            argument_text,
            input_byte,
            output_byte,
            reserved,
            *limits,
        )
    finally:
        message_bytes = take_string(message)
        answer_bytes = take_string(answer)
        replaced = ctypes.cast(record, c_void_p).value not in (given_address, None)
        new_record = take_string(record) if replaced else None
    return answer_bytes, message_bytes, new_record if new_record is not None else record_bytes
