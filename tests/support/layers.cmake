# What both programs' layering checks share, for scripts run with cmake -P.
# The including script sets:
#   layers_top     : the folder whose subfolders are the layers (ROOT/game)
#   layers_name    : its name in messages ("game")
#   layers_folders : every layer folder below it, for naming a header's owner
# then calls layers_check for each folder and layers_finish at the end.
cmake_minimum_required(VERSION 3.25)

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

set(layers_violations 0)

# The header names of one folder (not its subfolders).
function(headers_of folder out)
  file(GLOB found RELATIVE ${layers_top}/${folder} ${layers_top}/${folder}/*.h)
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# Which folder a header name belongs to, for the message.
function(owner_of header out)
  foreach(folder ${layers_folders})
    headers_of(${folder} names)
    if(header IN_LIST names)
      set(${out} "${layers_name}/${folder}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} "no ${layers_name} folder" PARENT_SCOPE)
endfunction()

# layers_check(folder portable "libraries" allowed headers...): every file of
# folder (not of its subfolders, which are checked on their own). A quoted
# include must name an allowed header; in a portable folder an angle include
# must be a C++ standard header or one of the libraries.
function(layers_check folder portable libraries)
  set(allowed ${ARGN})
  set(where ${layers_name}/${folder})
  file(GLOB files RELATIVE ${ROOT} ${layers_top}/${folder}/*.h ${layers_top}/${folder}/*.cpp)
  foreach(file ${files})
    file(STRINGS ${ROOT}/${file} lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${lines})
      if(line MATCHES "include[ \t]*\"([^\"]+)\"")
        set(name ${CMAKE_MATCH_1})
        if(NOT name IN_LIST allowed)
          owner_of(${name} owner)
          message("${file}: includes \"${name}\" of ${owner}, not a layer ${where} may use")
          math(EXPR layers_violations "${layers_violations} + 1")
        endif()
      elseif(portable AND line MATCHES "include[ \t]*<([^>]+)>")
        set(name ${CMAKE_MATCH_1})
        if(NOT name IN_LIST standard_headers AND NOT name IN_LIST libraries)
          if(libraries)
            message("${file}: includes <${name}>, not a C++ standard header or a library of ${where}")
          else()
            message("${file}: includes <${name}>, not a C++ standard header (${where} is portable)")
          endif()
          math(EXPR layers_violations "${layers_violations} + 1")
        endif()
      endif()
    endforeach()
  endforeach()
  set(layers_violations ${layers_violations} PARENT_SCOPE)
endfunction()

# Fails with the count when any check found a violation.
function(layers_finish)
  if(layers_violations GREATER 0)
    message(FATAL_ERROR "${layers_violations} include(s) against the ${layers_name}'s layering")
  endif()
  message("the ${layers_name}'s layers depend one way")
endfunction()
