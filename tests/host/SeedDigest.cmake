# A random check's printed seed reproduces its inputs: pzl-host validate --json for one
# check without a seed, again with the seed it printed (the same digest of the generated
# inputs), and with another seed (another digest). Run where the gtest suites do not
# (the Windows build under its emulator), where every check runs in a fresh process
# that must use its parent's seed.
function(validate seed out_seed out_digest)
  set(arguments validate --json --iterations 2 --timeout 300 --check ${CHECK})
  if(NOT seed STREQUAL "")
    list(APPEND arguments --seed ${seed})
  endif()
  execute_process(COMMAND ${EMULATOR} ${TOOL} ${arguments} ${PLUGIN}
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "exit status ${status}: ${output}${error}")
  endif()
  if(NOT output MATCHES "\"seed\":([0-9]+),\"digest\":\"([0-9a-f]+)\"")
    message(FATAL_ERROR "no seed and digest in: ${output}")
  endif()
  set(${out_seed} ${CMAKE_MATCH_1} PARENT_SCOPE)
  set(${out_digest} ${CMAKE_MATCH_2} PARENT_SCOPE)
endfunction()

validate("" seed digest)
validate(${seed} again repeated)
if(NOT again STREQUAL seed OR NOT repeated STREQUAL digest)
  message(FATAL_ERROR "seed ${seed} gave digest ${digest}, then seed ${again} gave ${repeated}")
endif()
math(EXPR other "${seed} + 1")
validate(${other} ignored changed)
if(changed STREQUAL digest)
  message(FATAL_ERROR "seeds ${seed} and ${other} gave the same digest ${digest}")
endif()
