# 32-bit x86, Debian's i386 (crossbuild-essential-i386, qemu-user):
#
#   cmake -S . -B build-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake \
#         -DETAL_GTEST_SOURCE=/usr/src/googletest
#   cmake --build build-i686 && ctest --test-dir build-i686
set(etal_triple i686-linux-gnu)
set(etal_qemu qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
