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
set(layers_top ${ROOT}/game)
set(layers_name game)
set(layers_folders world/ops world actors flow sim platform/null platform/sdl)
include(${CMAKE_CURRENT_LIST_DIR}/../support/layers.cmake)

headers_of(world/ops ops)
headers_of(world world_own)
headers_of(actors actors)
headers_of(flow flow)
headers_of(sim sim)
headers_of(platform/null null)
headers_of(platform/sdl sdl)
set(world ${world_own} ${ops})

layers_check(world/ops ON "" ${ops})
layers_check(world ON "" ${world})
layers_check(actors ON "" ${world} ${actors})
layers_check(flow ON "" ${world} ${actors} ${flow})
layers_check(sim ON "" ${world} ${actors} ${flow} ${sim} ${null})
layers_check(app ON "" ${world} ${actors} ${flow} ${sim})
layers_check(platform/null ON "" ${ops} ${null})
layers_check(platform/sdl OFF "" ${ops} ${sdl})
layers_finish()
