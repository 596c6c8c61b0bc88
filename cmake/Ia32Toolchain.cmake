# The second build configuration: 32-bit (IA32) programs on this x86-64 machine, with the compilers'
# multilib support (g++-multilib). Used as `cmake --toolchain cmake/Ia32Toolchain.cmake`; the
# configuration then builds only the PEI module and what its tests need (cmake/Ia32Build.cmake).
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
