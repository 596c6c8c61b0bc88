# The layer check run over a small tree with one fault of each kind: each must be reported, and the
# includes the table allows must not be.
# cmake -DMOX_SOURCE_DIR=<root> -P tests/layers/CheckLayersTest.cmake
execute_process(COMMAND ${CMAKE_COMMAND} -DMOX_SOURCE_DIR=${MOX_SOURCE_DIR}/tests/layers/tree
                        -P ${MOX_SOURCE_DIR}/cmake/CheckLayers.cmake
                RESULT_VARIABLE _result ERROR_VARIABLE _output OUTPUT_VARIABLE _stdout)
if(_result EQUAL 0)
  message(FATAL_ERROR "The layer check passed a tree that breaks the table")
endif()
set(_expected
  "middleware/model/Upward.h: #include \"middleware/accelerate/PairingServiceSteps.h\""
  "firmware/common/Library.h: #include <vector>"
  "cli/Reaches.h: #include <nlohmann/json.hpp>"
  "cli/Reaches.h: #include \"middleware/model/Session.h\""
  "middleware/unlisted/Stray.h: its folder has no row in the layer table"
  "platform/win/Code.cpp: platform/ holds declarations only")
foreach(_line IN LISTS _expected)
  string(FIND "${_output}" "${_line}" _at)
  if(_at EQUAL -1)
    message(FATAL_ERROR "Not reported: ${_line}\nThe check said:\n${_output}")
  endif()
endforeach()
foreach(_allowed "PairingState.h" "Downward.h" "<stdint.h>")
  string(FIND "${_output}" "${_allowed}" _at)
  if(NOT _at EQUAL -1)
    message(FATAL_ERROR "Reported although the table allows it: ${_allowed}\nThe check said:\n${_output}")
  endif()
endforeach()
