# The codec's sources: the library's messages layer, and the fuzzers and the
# 32-bit replay, which compile the same codec again with their own flags (it
# needs no other part of the library).
set(VELMOR_CODEC_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/codec_errors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/deserializer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rpc_codec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serializer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stream_codec.cpp)
