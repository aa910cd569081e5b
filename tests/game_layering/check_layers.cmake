# Checks that the game's folders depend one way, from the includes of every
# source and header file below ROOT/game:
#   world     : world headers only (its own and the ops headers)
#   actors    : world and actors
#   flow      : world, actors and flow
#   sim       : world, actors, flow, sim and the null platform it steers
#   app       : world, actors, flow and sim
#   platform/*: the ops headers the platform implements, and its own folder
# A quoted include must name a header of an allowed folder. An angle include
# in any folder but platform/sdl must be a C++ standard header: no SDL, no
# POSIX. Prints every violation and fails when there is one.
#
#   cmake -DROOT=<source tree> -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT ROOT)
  message(FATAL_ERROR "ROOT (the tree holding game/) is not set")
endif()
set(game ${ROOT}/game)

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

# The header names of one folder (not its subfolders).
function(headers_of folder out)
  file(GLOB found RELATIVE ${game}/${folder} ${game}/${folder}/*.h)
  set(${out} ${found} PARENT_SCOPE)
endfunction()

headers_of(world/ops ops)
headers_of(world world_own)
headers_of(actors actors)
headers_of(flow flow)
headers_of(sim sim)
headers_of(platform/null null)
headers_of(platform/sdl sdl)
set(world ${world_own} ${ops})

# Which folder a header name belongs to, for the message.
function(owner_of header out)
  foreach(folder world/ops world actors flow sim platform/null platform/sdl)
    headers_of(${folder} names)
    if(header IN_LIST names)
      set(${out} "game/${folder}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} "no game folder" PARENT_SCOPE)
endfunction()

set(violations 0)

# check(folder portable allowed...): every file of folder (not of its
# subfolders, which are checked on their own).
function(check folder portable)
  set(allowed ${ARGN})
  file(GLOB files RELATIVE ${ROOT} ${game}/${folder}/*.h ${game}/${folder}/*.cpp)
  foreach(file ${files})
    file(STRINGS ${ROOT}/${file} lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${lines})
      if(line MATCHES "include[ \t]*\"([^\"]+)\"")
        set(name ${CMAKE_MATCH_1})
        if(NOT name IN_LIST allowed)
          owner_of(${name} owner)
          message("${file}: includes \"${name}\" of ${owner}, not a layer game/${folder} may use")
          math(EXPR violations "${violations} + 1")
        endif()
      elseif(portable AND line MATCHES "include[ \t]*<([^>]+)>")
        set(name ${CMAKE_MATCH_1})
        if(NOT name IN_LIST standard_headers)
          message("${file}: includes <${name}>, not a C++ standard header (game/${folder} is portable)")
          math(EXPR violations "${violations} + 1")
        endif()
      endif()
    endforeach()
  endforeach()
  set(violations ${violations} PARENT_SCOPE)
endfunction()

check(world/ops ON ${ops})
check(world ON ${world})
check(actors ON ${world} ${actors})
check(flow ON ${world} ${actors} ${flow})
check(sim ON ${world} ${actors} ${flow} ${sim} ${null})
check(app ON ${world} ${actors} ${flow} ${sim})
check(platform/null ON ${ops} ${null})
check(platform/sdl OFF ${ops} ${sdl})

if(violations GREATER 0)
  message(FATAL_ERROR "${violations} include(s) against the game's layering")
endif()
message("the game's layers depend one way")
