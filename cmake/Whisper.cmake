# whisper.cpp (Whisper, Parakeet and the Silero detector): the system's package when it has one,
# else the source unpacked by scripts/fetch-whisper.sh, built here (libraries only, static).
set(OVRA_WHISPER_SOURCE_DIR "$ENV{HOME}/.cache/ovra-deps/whisper.cpp-1.9.1" CACHE PATH
    "whisper.cpp source tree used when find_package(whisper) finds nothing")

find_package(whisper 1.9.1 QUIET)
find_package(parakeet 1.9.1 QUIET)
if(whisper_FOUND AND parakeet_FOUND)
    set(OVRA_WHISPER_TARGETS whisper parakeet)
    message(STATUS "whisper.cpp: system package ${whisper_VERSION}")
elseif(EXISTS "${OVRA_WHISPER_SOURCE_DIR}/include/parakeet.h")
    set(CMAKE_POLICY_DEFAULT_CMP0077 NEW)
    set(BUILD_SHARED_LIBS OFF)
    set(WHISPER_BUILD_EXAMPLES OFF)
    set(WHISPER_BUILD_TESTS OFF)
    set(WHISPER_BUILD_SERVER OFF)
    set(WHISPER_ALL_WARNINGS OFF)
    set(WHISPER_CURL OFF)
    set(WHISPER_SDL2 OFF)
    # One instruction set for CI and users' machines (x86-64 with AVX2/FMA/F16C).
    set(GGML_NATIVE OFF)
    set(GGML_CCACHE OFF) # ggml's C sources take the launcher the C++ ones use
    if(CMAKE_CXX_COMPILER_LAUNCHER AND NOT CMAKE_C_COMPILER_LAUNCHER)
        set(CMAKE_C_COMPILER_LAUNCHER ${CMAKE_CXX_COMPILER_LAUNCHER})
    endif()
    set(CMAKE_AUTOMOC OFF)
    add_subdirectory("${OVRA_WHISPER_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/whisper.cpp" EXCLUDE_FROM_ALL SYSTEM)
    set(CMAKE_AUTOMOC ON)
    unset(BUILD_SHARED_LIBS)
    set(OVRA_WHISPER_TARGETS whisper parakeet)
    message(STATUS "whisper.cpp: built from ${OVRA_WHISPER_SOURCE_DIR}")
else()
    message(FATAL_ERROR "whisper.cpp 1.9.1 not found: run scripts/install-deps.sh (or scripts/fetch-whisper.sh)")
endif()
