# Checks the layering of the source tree: platform/ holds declarations only and includes nothing of
# the simulator, the product or the JSON library; sim/ includes nothing of the product; the UEFI
# declarations and the firmware programs include nothing but the UEFI declarations, their own folder
# and the freestanding C headers (the print helpers of firmware/common nothing of a program); the PEI
# module uses no C++ library.
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

# Each firmware folder and the include prefixes it may use besides the freestanding C headers.
set(_firmware_layers
  "platform/uefi|platform/uefi/"
  "firmware/common|platform/uefi/|firmware/common/"
  "firmware/moxzrcinfo|platform/uefi/|firmware/common/|firmware/moxzrcinfo/"
  "firmware/efi|platform/uefi/"
  "firmware/moxsecpeim|platform/uefi/|firmware/common/|firmware/moxsecpeim/")
foreach(_layer IN LISTS _firmware_layers)
  string(REPLACE "|" ";" _parts "${_layer}")
  list(POP_FRONT _parts _dir)
  list(JOIN _parts "|" _allowed)
  file(GLOB_RECURSE _files RELATIVE ${MOX_SOURCE_DIR} ${MOX_SOURCE_DIR}/${_dir}/*.h ${MOX_SOURCE_DIR}/${_dir}/*.cpp)
  foreach(_f IN LISTS _files)
    file(STRINGS ${MOX_SOURCE_DIR}/${_f} _lines REGEX "^[ \t]*#[ \t]*include")
    foreach(_l IN LISTS _lines)
      if(NOT _l MATCHES "[<\"](${_allowed}|stdarg\\.h|stddef\\.h|stdint\\.h)")
        list(APPEND _problems "${_f}: ${_l}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(_problems)
  list(JOIN _problems "\n  " _text)
  message(FATAL_ERROR "Layering broken:\n  ${_text}")
endif()
