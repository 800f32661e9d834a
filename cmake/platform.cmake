# The SP's own platform libraries, for the library-only build
# (-DARKBLADE_SIM=OFF): found in ARKBLADE_PLATFORM_LIBDIR, for example an SP
# sysroot's usr/lib next to the cross toolchain file.  All eight are linked
# (and so NEEDED) whichever of them supplies which outside function there.
set(ARKBLADE_PLATFORM_LIBDIR "" CACHE PATH "Folder holding the SP's platform libraries (library-only build)")
if(NOT ARKBLADE_PLATFORM_LIBDIR)
  message(FATAL_ERROR "-DARKBLADE_SIM=OFF needs -DARKBLADE_PLATFORM_LIBDIR=DIR, the folder of the SP's "
                      "platform libraries (libmemstore.so.1, libarkmp.so.1, ...)")
endif()

set(ARKBLADE_PLATFORM_LIBS "")
foreach(name i2c ami arkmp sysutil memstore arkcommon sspollerapi ssbcast)
  # The folder is taken as given, not below the cross toolchain's root path.
  find_library(ARKB_PLATFORM_${name} NAMES ${name} lib${name}.so.1
               PATHS ${ARKBLADE_PLATFORM_LIBDIR} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT ARKB_PLATFORM_${name})
    message(FATAL_ERROR "lib${name}.so.1 (or lib${name}.so) not found in ${ARKBLADE_PLATFORM_LIBDIR}")
  endif()
  add_library(arkb_platform_${name} SHARED IMPORTED)
  set_target_properties(arkb_platform_${name} PROPERTIES IMPORTED_LOCATION ${ARKB_PLATFORM_${name}})
  list(APPEND ARKBLADE_PLATFORM_LIBS arkb_platform_${name})
endforeach()
