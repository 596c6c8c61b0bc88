# A layer folder of the product is one static library made of every source in it; new files need no
# CMake edit.
function(mox_layer_library name dir)
  file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(_srcs)
    add_library(${name} STATIC ${_srcs})
    mox_hidden_visibility(${name})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# Test programs are linked at a fixed address: each test runs in a process of its own, and a
# position-independent sanitizer build spends most of a short test relocating itself at start.
function(mox_test_link_options name)
  target_link_options(${name} PRIVATE -no-pie)
endfunction()

# One test executable per tests/ folder; every test runs in a process of its own, so process-wide
# state (controller table, caches, flags) starts fresh in each.
function(mox_test_folder name dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT _srcs)
    return()
  endif()
  add_executable(${name} ${_srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} mox_test_support GTest::gtest GTest::gtest_main)
  mox_test_link_options(${name})
  add_dependencies(${name} mox_test_child)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "MOX_TEST_CHILD=$<TARGET_FILE:mox_test_child>")
endfunction()

# The product's code is compiled with hidden visibility: only what it marks MOX_EXPORT leaves a
# deliverable, and each deliverable's export list (mox_export_list) narrows that to its exact names.
# The simulator keeps default visibility: the product and the tests call into it.
function(mox_hidden_visibility name)
  set_target_properties(${name} PROPERTIES CXX_VISIBILITY_PRESET hidden C_VISIBILITY_PRESET hidden)
endfunction()

# A deliverable's dynamic symbol table is exactly the names of its export list, one a line:
#   Name               a C function
#   c++ Signature      a C++ function, as nm -C prints it
#   class Name         a class: its members, virtual table and type information
# '#' starts a comment. The list becomes the linker's version script, which hides everything else
# (the runtime's, the C++ library's and the JSON and option libraries' symbols included).
function(mox_export_list name list)
  file(STRINGS ${list} _lines)
  set(_c "")
  set(_cxx "")
  foreach(_line IN LISTS _lines)
    string(STRIP "${_line}" _line)
    if(_line STREQUAL "" OR _line MATCHES "^#")
      continue()
    elseif(_line MATCHES "^class +(.+)$")
      set(_class ${CMAKE_MATCH_1})
      string(APPEND _cxx "    ${_class}::*;\n    \"typeinfo for ${_class}\";\n"
                         "    \"typeinfo name for ${_class}\";\n    \"vtable for ${_class}\";\n")
    elseif(_line MATCHES "^c\\+\\+ +(.+)$")
      string(APPEND _cxx "    \"${CMAKE_MATCH_1}\";\n")
    else()
      string(APPEND _c "    ${_line};\n")
    endif()
  endforeach()
  set(_script "{\n  global:\n${_c}")
  if(_cxx)
    string(APPEND _script "    extern \"C++\" {\n${_cxx}    };\n")
  endif()
  string(APPEND _script "  local: *;\n};\n")
  set(_map ${CMAKE_CURRENT_BINARY_DIR}/${name}.map)
  file(CONFIGURE OUTPUT ${_map} CONTENT "${_script}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list})
  target_link_options(${name} PRIVATE "LINKER:--version-script=${_map}")
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${_map})
endfunction()
