# Compiler and linker settings of the shipped programs, after one of the
# architecture toolchain files. The win32-threads compilers link no
# winpthread (whose imports need Windows Vista), and the code is built for
# size with unused sections dropped. The test build keeps the posix-threads
# compilers, which GoogleTest needs.
set(CMAKE_C_COMPILER   ${QV_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${QV_MINGW_PREFIX}-g++-win32)

# Functions in sections of their own, so that unused ones are dropped; not
# data: zero-filled objects in sections of their own would land in .data
# and take room in the file, where .bss takes none.
set(CMAKE_C_FLAGS_INIT "-ffunction-sections")
# No scalar-replacement clones: GCC would otherwise make a private copy of
# string members (std::string::_M_replace and the like) in every source file
# that calls them, where the linker keeps one shared copy (8.5 KB less).
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fno-ipa-sra")
# Dropped sections, no symbols; ASLR (relocations kept) and DEP; no link
# time in the header (it would be the only difference between two builds of
# one commit, with the header checksum that covers it).
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-static -static-libgcc -static-libstdc++ -Wl,--gc-sections -s -Wl,--dynamicbase -Wl,--nxcompat -Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT
    "-static -static-libgcc -static-libstdc++ -Wl,--gc-sections -s -Wl,--dynamicbase -Wl,--nxcompat -Wl,--no-insert-timestamp")
set(QV_SHIPPED_BUILD ON CACHE BOOL "Build of the shipped programs" FORCE)
