# 64-bit ARM, Debian's arm64, with NEON's vectors (crossbuild-essential-arm64,
# qemu-user):
#
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
#         -DETAL_GTEST_SOURCE=/usr/src/googletest
#   cmake --build build-aarch64 && ctest --test-dir build-aarch64
set(etal_triple aarch64-linux-gnu)
set(etal_qemu qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
