# Cross build for 64-bit Arm (Raspberry Pi and similar boards) on an amd64
# Debian 12 with the multiarch packages of `scripts/deps.sh arm64`:
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64-linux-gnu.cmake
# No sysroot: the arm64 libraries and their CMake and pkg-config files live
# in the machine's own /usr/lib/aarch64-linux-gnu.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# pkgconf:arm64 provides this wrapper: it looks in the arm64 .pc folders only.
set(PKG_CONFIG_EXECUTABLE aarch64-linux-gnu-pkg-config CACHE FILEPATH "pkg-config for the target")

# moc, rcc and uic are the machine's own amd64 tools.
set(QT_HOST_PATH /usr CACHE PATH "Where the build machine's Qt tools live")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "The build machine's Qt CMake files")

# Tests and test discovery run the arm64 programs through the user-mode
# emulator; `scripts/arm64-emulator.sh` fetches a recent one into the build
# folder (see `make test-arm64`), else the packaged one serves.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(CALIDOR_QEMU_AARCH64 NAMES qemu-aarch64-static qemu-aarch64)
    if(CALIDOR_QEMU_AARCH64)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${CALIDOR_QEMU_AARCH64})
    endif()
endif()

# Headers and libraries of the target only; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
