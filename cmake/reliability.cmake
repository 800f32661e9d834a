# Build variants for the reliability checks (scripts/check-reliability):
#   ARKBLADE_HARDEN    the flags a distribution package builds with (default)
#   ARKBLADE_SANITIZE  AddressSanitizer + UndefinedBehaviorSanitizer everywhere
#   ARKBLADE_FUZZ      libFuzzer targets in fuzz/ (clang; implies SANITIZE)
#   ARKBLADE_COVERAGE  gcov counters, read by gcovr for the coverage of src/
option(ARKBLADE_HARDEN "Fortified, stack-protected, full-RELRO build" ON)
option(ARKBLADE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(ARKBLADE_FUZZ "Build the libFuzzer targets (clang only)" OFF)
option(ARKBLADE_COVERAGE "Instrument for line and branch coverage (gcov)" OFF)

if(ARKBLADE_COVERAGE)
  # Every process of the suite writes its counts next to its objects; the
  # SP sandbox sees the build folder at its own path, so they all add up.
  add_compile_options(--coverage)
  add_link_options(--coverage)
endif()

if(ARKBLADE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ARKBLADE_FUZZ needs clang: -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
  endif()
  set(ARKBLADE_SANITIZE ON)
  # Coverage for the fuzzer in everything it runs: library and simulator.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(ARKBLADE_SANITIZE)
  set(arkb_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_compile_options(${arkb_san})
  add_link_options(${arkb_san})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # gcc's flow analysis under the sanitizers reports uninitialised uses in
    # the standard library's own headers (std::regex) that are not there.
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # clang puts the sanitizer runtime into executables only; the shared
    # libraries (libarkblade is linked with --no-undefined) need the shared
    # runtime, found at run time through the rpath.
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libclang_rt.asan-x86_64.so
                    OUTPUT_VARIABLE arkb_asan_so OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(arkb_asan_dir ${arkb_asan_so} DIRECTORY)
    add_link_options(-shared-libsan -Wl,-rpath,${arkb_asan_dir})
  endif()
  # The C driver that links libarkblade adds no C++ runtime; the sanitizer
  # runtimes come with -fsanitize above (gcc: libasan, libubsan).
endif()

if(ARKBLADE_HARDEN)
  # _FORTIFY_SOURCE needs optimisation and gets in the sanitizers' way.
  if(NOT ARKBLADE_SANITIZE)
    add_compile_options($<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE> $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
  endif()
  add_compile_options(-fstack-protector-strong)
  add_link_options(-Wl,-z,relro -Wl,-z,now -Wl,-z,noexecstack)
endif()
