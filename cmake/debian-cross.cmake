# Cross build for another Debian architecture with Debian's cross compilers
# (crossbuild-essential-<arch>), whose tests ctest runs under qemu-user
# (qemu-user), with the target's libraries from /usr/<triple>. Included by
# the file of each target, which sets etal_triple and etal_qemu first.
set(CMAKE_SYSTEM_NAME Linux)
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR "${etal_triple}")
set(CMAKE_C_COMPILER ${etal_triple}-gcc)  # GoogleTest builds C too
set(CMAKE_CXX_COMPILER ${etal_triple}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${etal_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${etal_qemu} -L /usr/${etal_triple})
