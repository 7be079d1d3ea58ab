# IBM Z, big-endian and 64-bit (Debian: crossbuild-essential-s390x, qemu-user):
#
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/s390x-linux-gnu.cmake \
#         -DETAL_GTEST_SOURCE=/usr/src/googletest
#   cmake --build build-s390x && ctest --test-dir build-s390x
set(etal_triple s390x-linux-gnu)
set(etal_qemu qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
