# Warnings and sanitizers as one interface target that every target links.
add_library(quorvel_options INTERFACE)
target_compile_options(quorvel_options INTERFACE -Wall -Wextra -Wpedantic
  $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>
  $<$<CXX_COMPILER_ID:Clang>:-Wshadow-uncaptured-local -Wno-potentially-evaluated-expression>)
if(QUORVEL_WERROR)
  target_compile_options(quorvel_options INTERFACE -Werror)
endif()

# The hardening Debian builds its packages with; the sanitizer builds have their own checks.
if(QUORVEL_SANITIZE STREQUAL "")
  target_compile_options(quorvel_options INTERFACE -fstack-protector-strong
    $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>)
  target_link_options(quorvel_options INTERFACE LINKER:-z,relro LINKER:-z,now)
endif()

if(QUORVEL_SANITIZE STREQUAL "asan")
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(QUORVEL_SANITIZE STREQUAL "tsan")
  set(_san -fsanitize=thread -fno-omit-frame-pointer)
elseif(QUORVEL_SANITIZE STREQUAL "fuzz")
  # coverage for libFuzzer in every library; the fuzzer main is linked by fuzz/ alone
  set(_san -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
elseif(NOT QUORVEL_SANITIZE STREQUAL "")
  message(FATAL_ERROR "Unknown QUORVEL_SANITIZE value '${QUORVEL_SANITIZE}'")
endif()
if(_san)
  target_compile_options(quorvel_options INTERFACE ${_san})
  target_link_options(quorvel_options INTERFACE ${_san})
endif()
