# Cross build for 64-bit ARM Linux (Debian arm64: Raspberry Pi 3, 4, 5 and Zero 2 with a 64-bit
# system), tests under qemu-aarch64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(NIMBRIX_CROSS_TRIPLET aarch64-linux-gnu)
set(NIMBRIX_DEBIAN_ARCH arm64)
set(NIMBRIX_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
