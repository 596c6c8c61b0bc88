# Checks the layering of the source tree against one table: each folder and the include prefixes
# its files may use. A quoted include must match one of the row's prefixes; an include in angle
# brackets is checked when it names a folder of the tree or an outside library of the project
# (nlohmann, boost, gtest, gmock). A row marked "freestanding" allows, besides its prefixes, only the
# freestanding C headers, in either form. A file takes the row of the longest folder holding it; a
# source file under the checked folders without a row is a fault too. platform/ holds declarations
# only.
# Run at configure time and as a test: cmake -DMOX_SOURCE_DIR=<root> -P cmake/CheckLayers.cmake
# middleware/README.md states the same table; change both together.
cmake_policy(VERSION 3.20)
if(NOT MOX_SOURCE_DIR)
  set(MOX_SOURCE_DIR ${PROJECT_SOURCE_DIR})
endif()

# What the model and the layers above it may use below the model.
set(_below_model "middleware/pairing/|middleware/cacheservice/|tools/Ostrel/ServiceCommands/|middleware/ioctl/|middleware/core/|platform/win/")
# folder | allowed prefixes ...
set(_layers
  "cli|cli/|middleware/accelerate/|middleware/api/|middleware/core/|platform/win/|boost/"
  "middleware/accelerate|middleware/accelerate/|middleware/api/|middleware/model/|${_below_model}"
  "middleware/api|middleware/api/|middleware/model/|${_below_model}"
  "middleware/model|middleware/model/|${_below_model}"
  "middleware/pairing|middleware/pairing/|middleware/cacheservice/|tools/Ostrel/ServiceCommands/|middleware/core/|platform/win/"
  "middleware/cacheservice|middleware/cacheservice/|platform/win/"
  "middleware/ioctl|middleware/ioctl/|middleware/core/|platform/win/"
  "middleware/core|middleware/core/|platform/win/"
  "tools/Ostrel/ServiceCommands|tools/Ostrel/ServiceCommands/|middleware/core/|platform/win/"
  "halvexapi|halvexapi/|middleware/cacheservice/|middleware/core/|platform/win/"
  "lanthe|lanthe/|middleware/ioctl/|middleware/core/|platform/win/"
  "platform/win|platform/win/"
  "sim|sim/|platform/win/|platform/uefi/|nlohmann/"
  "platform/uefi|freestanding|platform/uefi/"
  "firmware/common|freestanding|platform/uefi/|firmware/common/"
  "firmware/moxzrcinfo|freestanding|platform/uefi/|firmware/common/|firmware/moxzrcinfo/"
  "firmware/efi|freestanding|platform/uefi/"
  "firmware/moxsecpeim|freestanding|platform/uefi/|firmware/common/|firmware/moxsecpeim/")
set(_checked_folders cli middleware tools halvexapi lanthe platform sim firmware)
set(_tracked "^(cli|middleware|tools|halvexapi|lanthe|platform|sim|firmware|tests|bench|nlohmann|boost|gtest|gmock)/")
set(_freestanding stdarg.h stddef.h stdint.h)

set(_problems "")
set(_globs "")
foreach(_d IN LISTS _checked_folders)
  list(APPEND _globs ${MOX_SOURCE_DIR}/${_d}/*.h ${MOX_SOURCE_DIR}/${_d}/*.hpp ${MOX_SOURCE_DIR}/${_d}/*.c
       ${MOX_SOURCE_DIR}/${_d}/*.cpp)
endforeach()
file(GLOB_RECURSE _files RELATIVE ${MOX_SOURCE_DIR} ${_globs})
list(SORT _files)

foreach(_f IN LISTS _files)
  if(_f MATCHES "^platform/.*\\.(c|cpp)$")
    list(APPEND _problems "${_f}: platform/ holds declarations only; implementations go to sim/win32/")
    continue()
  endif()
  # The row of the longest folder holding the file.
  set(_row "")
  set(_row_length 0)
  foreach(_layer IN LISTS _layers)
    string(REPLACE "|" ";" _parts "${_layer}")
    list(GET _parts 0 _dir)
    string(LENGTH "${_dir}/" _length)
    string(FIND "${_f}" "${_dir}/" _at)
    if(_at EQUAL 0 AND _length GREATER _row_length)
      set(_row "${_parts}")
      set(_row_length ${_length})
    endif()
  endforeach()
  if(NOT _row)
    list(APPEND _problems "${_f}: its folder has no row in the layer table")
    continue()
  endif()
  list(POP_FRONT _row _dir)
  set(_strict FALSE)
  list(FIND _row freestanding _at)
  if(NOT _at EQUAL -1)
    set(_strict TRUE)
    list(REMOVE_ITEM _row freestanding)
  endif()

  file(STRINGS ${MOX_SOURCE_DIR}/${_f} _lines REGEX "^[ \t]*#[ \t]*include")
  foreach(_l IN LISTS _lines)
    if(NOT _l MATCHES "include[ \t]*([<\"])([^>\"]*)[>\"]")
      list(APPEND _problems "${_f}: ${_l}")
      continue()
    endif()
    set(_form "${CMAKE_MATCH_1}")
    set(_path "${CMAKE_MATCH_2}")
    if(NOT _strict AND _form STREQUAL "<" AND NOT _path MATCHES "${_tracked}")
      continue()
    endif()
    set(_allowed FALSE)
    foreach(_prefix IN LISTS _row)
      string(FIND "${_path}" "${_prefix}" _at)
      if(_at EQUAL 0)
        set(_allowed TRUE)
        break()
      endif()
    endforeach()
    if(_strict AND _path IN_LIST _freestanding)
      set(_allowed TRUE)
    endif()
    if(NOT _allowed)
      list(APPEND _problems "${_f}: ${_l}")
    endif()
  endforeach()
endforeach()

if(_problems)
  list(JOIN _problems "\n  " _text)
  message(FATAL_ERROR "Layering broken:\n  ${_text}")
endif()
