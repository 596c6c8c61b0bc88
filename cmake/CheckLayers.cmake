# Checks the layering of the source tree: platform/ holds declarations only and includes nothing of
# the simulator, the product or the JSON library; sim/ includes nothing of the product.
# Run at configure time and as a test: cmake -DMOX_SOURCE_DIR=<root> -P cmake/CheckLayers.cmake
if(NOT MOX_SOURCE_DIR)
  set(MOX_SOURCE_DIR ${PROJECT_SOURCE_DIR})
endif()

set(_problems "")
file(GLOB_RECURSE _platform RELATIVE ${MOX_SOURCE_DIR} ${MOX_SOURCE_DIR}/platform/*)
foreach(_f IN LISTS _platform)
  if(_f MATCHES "\\.(c|cc|cpp|cxx)$")
    list(APPEND _problems "${_f}: platform/ holds declarations only; implementations go to sim/win32/")
  elseif(_f MATCHES "\\.(h|hpp)$")
    file(STRINGS ${MOX_SOURCE_DIR}/${_f} _lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](sim/|middleware/|cli/|nlohmann/)")
    foreach(_l IN LISTS _lines)
      list(APPEND _problems "${_f}: ${_l}")
    endforeach()
  endif()
endforeach()

file(GLOB_RECURSE _sim RELATIVE ${MOX_SOURCE_DIR} ${MOX_SOURCE_DIR}/sim/*.h ${MOX_SOURCE_DIR}/sim/*.cpp)
foreach(_f IN LISTS _sim)
  file(STRINGS ${MOX_SOURCE_DIR}/${_f} _lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](middleware/|cli/)")
  foreach(_l IN LISTS _lines)
    list(APPEND _problems "${_f}: ${_l}")
  endforeach()
endforeach()

if(_problems)
  list(JOIN _problems "\n  " _text)
  message(FATAL_ERROR "Layering broken:\n  ${_text}")
endif()
