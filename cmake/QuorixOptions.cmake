# Warnings and sanitizers shared by every target of the project.
add_library(quorix_warnings INTERFACE)
target_compile_options(quorix_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wformat=2
  $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor -Wold-style-cast>
  $<$<BOOL:${QUORIX_WERROR}>:-Werror>
  # GCC 12 at -O3 reports false restrict/array-bounds/overflow errors inside the standard
  # library; they stay warnings there.
  $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-error=restrict -Wno-error=array-bounds -Wno-error=stringop-overflow>)

if(QUORIX_SANITIZE)
  if(NOT QUORIX_SANITIZE MATCHES "^(address|thread|undefined)$")
    message(FATAL_ERROR "QUORIX_SANITIZE must be address, thread or undefined")
  endif()
  set(_san -fsanitize=${QUORIX_SANITIZE} -fno-omit-frame-pointer)
  if(QUORIX_SANITIZE STREQUAL "undefined")
    list(APPEND _san -fno-sanitize-recover=all)
  endif()
  # GCC 12 reports false maybe-uninitialized warnings in the standard library when
  # sanitizers change its inlining.
  add_compile_options(${_san} -Wno-maybe-uninitialized)
  add_link_options(${_san})
endif()

# libFuzzer targets (tests/fuzz): clang only, in a build folder of their own; everything is
# built with coverage, address and undefined-behaviour checks.
if(QUORIX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR NOT CMAKE_C_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QUORIX_FUZZ needs clang (found ${CMAKE_CXX_COMPILER_ID}): configure a "
      "separate folder with CC=clang CXX=clang++, or run scripts/fuzz.sh")
  endif()
  if(QUORIX_SANITIZE)
    message(FATAL_ERROR "QUORIX_FUZZ brings its own sanitizers: leave QUORIX_SANITIZE empty")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
