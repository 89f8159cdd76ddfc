# The fuzz targets, shared by the libFuzzer build (fuzz/CMakeLists.txt) and
# the replay of the stored corpus in the normal suite (tests/fuzz).
set(ZORVAT_FUZZ_TARGETS
  response_reader
  key_negotiation_reader
  text_conversion
  string_toolkit
  payload_decryption
  operation_exchange)
set(ZORVAT_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
