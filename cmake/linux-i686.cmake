# 32-bit x86 Linux with the host's compiler (g++-multilib). The programs run
# under qemu-i386 through binfmt_misc, so CMake treats them as native: tests
# are discovered by running them and children start as usual.
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# Debian's 64-bit GoogleTest libraries cannot link here; build it from its sources.
set(LUMARIX_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build with the tests")
