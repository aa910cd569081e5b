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
set(layers_top ${ROOT}/updater)
set(layers_name updater)
set(layers_folders base res platform platform/front unzip sign engine ui app)
include(${CMAKE_CURRENT_LIST_DIR}/../support/layers.cmake)

foreach(folder ${layers_folders})
  string(REPLACE "/" "_" var ${folder})
  headers_of(${folder} h_${var})
endforeach()

layers_check(base ON "" ${h_base})
layers_check(platform OFF "" ${h_base} ${h_platform})
layers_check(unzip ON "zlib.h;libdeflate.h" ${h_base} zip_file_io.h ${h_unzip})
layers_check(sign ON "sodium.h;openssl/evp.h" ${h_base} ${h_sign})
layers_check(engine ON "tinyxml.h;libdeflate.h" ${h_base} ${h_platform} ${h_unzip} ${h_sign} ${h_engine})
layers_check(platform/front OFF "" ${h_base} ${h_res} notify_queue.h update_messages.h ${h_platform_front})
layers_check(ui ON "" ${h_base} ${h_res} ${h_engine} http_fetch.h front_ops.h terminal_front.h ${h_ui})
layers_check(app ON "" ${h_ui})
layers_finish()
