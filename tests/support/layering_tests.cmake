# tg_add_layering_tests(NAME CHECK CASES...): the check script run on the
# source tree, and once on each fixture tree below fixtures/, which must fail
# with the expected message. A case is "fixture|expected message".
function(tg_add_layering_tests name check)
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR} -P ${check})
  set_tests_properties(${name} PROPERTIES LABELS unit)
  foreach(case IN LISTS ARGN)
    string(REPLACE "|" ";" parts "${case}")
    list(GET parts 0 fixture)
    list(GET parts 1 expected)
    string(REGEX REPLACE "([.<>/])" "\\\\\\1" pattern "${expected}")
    add_test(NAME ${name}.refuses_${fixture}
             COMMAND ${CMAKE_COMMAND} -DROOT=${CMAKE_CURRENT_SOURCE_DIR}/fixtures/${fixture} -P ${check})
    set_tests_properties(${name}.refuses_${fixture} PROPERTIES
      LABELS unit
      PASS_REGULAR_EXPRESSION "${pattern}")
  endforeach()
endfunction()
