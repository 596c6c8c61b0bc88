# Firmware code is built as a freestanding UEFI image would be: no C++ library (its headers are not
# even on the include path), no exceptions, no run-time type information. The simulator's checks
# of run-time types need the latter, so they are off for firmware code.
function(mox_firmware_library name dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  add_library(${name} STATIC ${_srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -ffreestanding -nostdinc++ -fno-exceptions -fno-rtti
                         $<$<BOOL:${MOX_SANITIZE}>:-fno-sanitize=vptr>)
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# A UEFI shell application as a program of this machine: its main, generated here, builds the
# simulated firmware of the current machine and calls the image's entry point, as the shell would.
#   mox_uefi_host_program(<target> ENTRY <entry point> IMAGE <image file name> LIBRARIES <libs...>)
function(mox_uefi_host_program name)
  cmake_parse_arguments(_ARG "" "ENTRY;IMAGE" "LIBRARIES" ${ARGN})
  set(MOX_UEFI_ENTRY ${_ARG_ENTRY})
  set(MOX_UEFI_IMAGE ${_ARG_IMAGE})
  set(_main ${CMAKE_CURRENT_BINARY_DIR}/${name}HostMain.cpp)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/UefiHostMain.cpp.in ${_main} @ONLY)
  add_executable(${name} ${_main})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${_ARG_LIBRARIES} moxsim mox_platform_api)
endfunction()
