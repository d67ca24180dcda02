# Cross build for 32-bit ARM Linux with hardware floating point (Debian armhf: ARMv7, a Raspberry
# Pi 2 or later with a 32-bit system; not the ARMv6 of a Pi 1 or Pi Zero), tests under qemu-arm.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(NIMBRIX_CROSS_TRIPLET arm-linux-gnueabihf)
set(NIMBRIX_DEBIAN_ARCH armhf)
set(NIMBRIX_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
# g++ notes on every std::map iterator passed by value that its ABI for such arguments changed
# in GCC 7.1: nothing here is linked with code of a compiler that old.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)
