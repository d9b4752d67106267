# The layer check itself: a tree whose includes point down passes, one include up or a
# folder without a layer fails the build with the offending line named.
#   cmake -DCHECK=<CheckLayers.cmake> -DWORK=<scratch folder> -P check_layers.cmake
file(REMOVE_RECURSE ${WORK})

function(write path text)
  file(WRITE ${WORK}/${path} "${text}\n")
endfunction()

function(run_check tree expect_ok expect_text)
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${WORK}/${tree} -P ${CHECK}
    RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
  if(expect_ok AND NOT rc EQUAL 0)
    message(FATAL_ERROR "${tree}: refused a clean tree:\n${err}")
  endif()
  if(NOT expect_ok AND rc EQUAL 0)
    message(FATAL_ERROR "${tree}: passed a tree it should refuse")
  endif()
  if(expect_text AND NOT err MATCHES "${expect_text}")
    message(FATAL_ERROR "${tree}: the refusal does not name '${expect_text}':\n${err}")
  endif()
endfunction()

write(clean/platform/Socket.h "#pragma once")
write(clean/session/BaseSession.h "#include \"platform/Socket.h\"\n#include \"quorix/quorix_api.h\"")
write(clean/device/BaseDevice.cpp "#include \"session/BaseSession.h\"\n#include <vector>")
run_check(clean TRUE "")

write(up/platform/Socket.h "#include \"device/BaseDevice.h\"")
write(up/device/BaseDevice.h "#pragma once")
run_check(up FALSE "src/platform/Socket.h: #include \"device/BaseDevice.h\"")

write(unplaced/gadgets/Gadget.h "#pragma once")
run_check(unplaced FALSE "src/gadgets/ has no place")
