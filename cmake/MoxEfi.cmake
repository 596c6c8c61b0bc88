# The firmware programs' sources built for the real target as well: an x86-64 UEFI application (PE32+)
# made by clang and lld-link from the same sources and the same platform/uefi declarations as the
# host program. Skipped, with a message, where clang or lld-link is missing.
#   mox_efi_application(<target> ENTRY <entry point> IMAGE <file name> DIRS <source folders...>)
find_program(MOX_EFI_CLANG NAMES clang++ clang++-14)
find_program(MOX_EFI_LINK NAMES lld-link lld-link-14)

function(mox_efi_application name)
  cmake_parse_arguments(_ARG "" "ENTRY;IMAGE" "DIRS" ${ARGN})
  if(NOT MOX_EFI_CLANG OR NOT MOX_EFI_LINK)
    message(STATUS "${_ARG_IMAGE} is not built: clang++ and lld-link are needed")
    return()
  endif()
  set(_dir ${CMAKE_BINARY_DIR}/efi/${name})
  set(_flags --target=x86_64-unknown-windows -std=c++20 -O2 -Wall -Wextra -ffreestanding -nostdlibinc
             -fno-exceptions -fno-rtti -fno-builtin -fshort-wchar -mno-red-zone -mno-stack-arg-probe
             -I${PROJECT_SOURCE_DIR})
  set(_objects)
  foreach(_srcdir ${_ARG_DIRS})
    file(GLOB _srcs CONFIGURE_DEPENDS ${_srcdir}/*.cpp)
    foreach(_src ${_srcs})
      get_filename_component(_base ${_src} NAME_WE)
      get_filename_component(_group ${_srcdir} NAME)
      set(_obj ${_dir}/${_group}/${_base}.obj)
      file(MAKE_DIRECTORY ${_dir}/${_group})
      add_custom_command(OUTPUT ${_obj}
                         COMMAND ${MOX_EFI_CLANG} ${_flags} -MD -MF ${_obj}.d -c ${_src} -o ${_obj}
                         DEPENDS ${_src} DEPFILE ${_obj}.d
                         COMMENT "Compiling ${_group}/${_base}.cpp for UEFI" VERBATIM)
      list(APPEND _objects ${_obj})
    endforeach()
  endforeach()
  set(_image ${CMAKE_BINARY_DIR}/efi/${_ARG_IMAGE})
  add_custom_command(OUTPUT ${_image}
                     COMMAND ${MOX_EFI_LINK} /nologo /subsystem:efi_application /entry:${_ARG_ENTRY}
                             /nodefaultlib /out:${_image} ${_objects}
                     DEPENDS ${_objects} COMMENT "Linking ${_ARG_IMAGE}" VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${_image})
  set_target_properties(${name} PROPERTIES MOX_EFI_IMAGE ${_image})
endfunction()
