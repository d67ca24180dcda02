# Shared part of the Linux cross builds with Debian's cross compilers (crossbuild-essential-*)
# against the target's multiarch libraries (libcurl4-openssl-dev:arm64 and the like, installed
# beside the build machine's own). The file that includes this one sets:
#   NIMBRIX_CROSS_TRIPLET  the GNU triplet, e.g. aarch64-linux-gnu
#   NIMBRIX_DEBIAN_ARCH    the Debian architecture of the package, e.g. arm64
#   NIMBRIX_QEMU           the qemu-user program that runs the target's programs here
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${NIMBRIX_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${NIMBRIX_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${NIMBRIX_CROSS_TRIPLET})
set(PKG_CONFIG_EXECUTABLE ${NIMBRIX_CROSS_TRIPLET}-pkg-config CACHE FILEPATH "pkg-config of the target")

# The multiarch tree is one root shared with the build machine: libraries and headers are found
# in /usr/lib/<triplet> and /usr/include(/<triplet>), programs are the build machine's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# Tests and test discovery run under qemu-user. No -L: the multiarch root already holds the
# target's dynamic loader and libraries, and pointing qemu at /usr/<triplet> instead mixes the
# cross toolchain's loader with the multiarch libc (threads then hang in pthread_create).
find_program(NIMBRIX_QEMU_PROGRAM ${NIMBRIX_QEMU} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${NIMBRIX_QEMU_PROGRAM})
