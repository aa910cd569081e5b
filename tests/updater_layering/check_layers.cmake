# Checks that the updater's folders depend one way, from the includes of every
# source and header file below ROOT/updater:
#   base          : base only
#   platform      : base and platform (files, mappings, HTTP, processes)
#   unzip         : base, the platform's zip file operations, unzip; zlib, libdeflate
#   sign          : base and sign; libsodium, libcrypto
#   engine        : base, platform, unzip, sign, engine; TinyXML, libdeflate
#   platform/front: base, res, the engine's message queue, front
#   ui            : base, res, engine, the platform's HTTP start-up, the front
#                   end's operations and terminal, ui
#   app           : ui
# A quoted include must name a header of an allowed folder. An angle include
# in a portable folder (every folder but platform and platform/front) must be
# a C++ standard header or one of the libraries listed for it: no SDL, no
# curl, no POSIX. Prints every violation and fails when there is one.
#
#   cmake -DROOT=<source tree> -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT ROOT)
  message(FATAL_ERROR "ROOT (the tree holding updater/) is not set")
endif()
set(updater ${ROOT}/updater)

set(standard_headers
  algorithm any array atomic barrier bit bitset cassert cctype cerrno cfenv cfloat charconv chrono
  cinttypes climits clocale cmath compare complex concepts condition_variable coroutine csetjmp
  csignal cstdarg cstddef cstdint cstdio cstdlib cstring ctime cuchar cwchar cwctype deque exception
  execution filesystem format forward_list fstream functional future initializer_list iomanip ios
  iosfwd iostream istream iterator latch limits list locale map memory memory_resource mutex new
  numbers numeric optional ostream queue random ranges ratio regex scoped_allocator semaphore set
  shared_mutex source_location span sstream stack stdexcept stop_token streambuf string
  string_view syncstream system_error thread tuple type_traits typeindex typeinfo unordered_map
  unordered_set utility valarray variant vector version)

set(folders base res platform platform/front unzip sign engine ui app)

# The header names of one folder (not its subfolders).
function(headers_of folder out)
  file(GLOB found RELATIVE ${updater}/${folder} ${updater}/${folder}/*.h)
  set(${out} ${found} PARENT_SCOPE)
endfunction()

foreach(folder ${folders})
  string(REPLACE "/" "_" var ${folder})
  headers_of(${folder} h_${var})
endforeach()

# Which folder a header name belongs to, for the message.
function(owner_of header out)
  foreach(folder ${folders})
    headers_of(${folder} names)
    if(header IN_LIST names)
      set(${out} "updater/${folder}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} "no updater folder" PARENT_SCOPE)
endfunction()

set(violations 0)

# check(folder portable "libraries" allowed headers...): every file of folder
# (not of its subfolders, which are checked on their own).
function(check folder portable libraries)
  set(allowed ${ARGN})
  file(GLOB files RELATIVE ${ROOT} ${updater}/${folder}/*.h ${updater}/${folder}/*.cpp)
  foreach(file ${files})
    file(STRINGS ${ROOT}/${file} lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${lines})
      if(line MATCHES "include[ \t]*\"([^\"]+)\"")
        set(name ${CMAKE_MATCH_1})
        if(NOT name IN_LIST allowed)
          owner_of(${name} owner)
          message("${file}: includes \"${name}\" of ${owner}, not a layer updater/${folder} may use")
          math(EXPR violations "${violations} + 1")
        endif()
      elseif(portable AND line MATCHES "include[ \t]*<([^>]+)>")
        set(name ${CMAKE_MATCH_1})
        if(NOT name IN_LIST standard_headers AND NOT name IN_LIST libraries)
          message("${file}: includes <${name}>, not a C++ standard header or a library of updater/${folder}")
          math(EXPR violations "${violations} + 1")
        endif()
      endif()
    endforeach()
  endforeach()
  set(violations ${violations} PARENT_SCOPE)
endfunction()

check(base ON "" ${h_base})
check(platform OFF "" ${h_base} ${h_platform})
check(unzip ON "zlib.h;libdeflate.h" ${h_base} zip_file_io.h ${h_unzip})
check(sign ON "sodium.h;openssl/evp.h" ${h_base} ${h_sign})
check(engine ON "tinyxml.h;libdeflate.h" ${h_base} ${h_platform} ${h_unzip} ${h_sign} ${h_engine})
check(platform/front OFF "" ${h_base} ${h_res} notify_queue.h update_messages.h ${h_platform_front})
check(ui ON "" ${h_base} ${h_res} ${h_engine} http_fetch.h front_ops.h terminal_front.h ${h_ui})
check(app ON "" ${h_ui})

if(violations GREATER 0)
  message(FATAL_ERROR "${violations} include(s) against the updater's layering")
endif()
message("the updater's layers depend one way")
