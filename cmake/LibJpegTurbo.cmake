# libjpeg-turbo, the MJPG encoder and decoder, as two imported targets:
#   zd::turbojpeg  the TurboJPEG API (turbojpeg.h)
#   zd::jpeg       the libjpeg API (jpeglib.h)
# Windows builds link the static libraries that cmake/libjpeg-turbo.sh builds
# from Debian's source package into build/deps/<triplet>, so the module and
# the tools need nothing at run time but the system. Native builds use
# Debian's libturbojpeg0-dev and libjpeg-dev through pkg-config.
if(TARGET zd::turbojpeg)
  return()
endif()

if(ZD_WINDOWS)
  set(ZD_LIBJPEG_TURBO_DIR ${CMAKE_SOURCE_DIR}/build/deps/${ZD_MINGW_TRIPLE}
      CACHE PATH "Static libjpeg-turbo for this Windows target (made by cmake/libjpeg-turbo.sh)")
  set(_zd_jpeg_dir ${ZD_LIBJPEG_TURBO_DIR})
  if(NOT EXISTS ${_zd_jpeg_dir}/include/turbojpeg.h OR
     NOT EXISTS ${_zd_jpeg_dir}/include/jpeglib.h OR
     NOT EXISTS ${_zd_jpeg_dir}/lib/libturbojpeg.a OR
     NOT EXISTS ${_zd_jpeg_dir}/lib/libjpeg.a)
    message(FATAL_ERROR
      "libjpeg-turbo for ${ZD_MINGW_TRIPLE} is missing in ${_zd_jpeg_dir}.\n"
      "Build it first (once; it is kept under build/deps):\n"
      "  cmake/libjpeg-turbo.sh ${ZD_MINGW_TRIPLE}\n"
      "(as root: it adds a deb-src entry and fetches the source with apt-get source).")
  endif()
  # Rebuilt libraries relink what uses them.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${_zd_jpeg_dir}/lib/libturbojpeg.a ${_zd_jpeg_dir}/lib/libjpeg.a)
  add_library(zd::turbojpeg STATIC IMPORTED GLOBAL)
  set_target_properties(zd::turbojpeg PROPERTIES
    IMPORTED_LOCATION ${_zd_jpeg_dir}/lib/libturbojpeg.a
    INTERFACE_INCLUDE_DIRECTORIES ${_zd_jpeg_dir}/include
    INTERFACE_COMPILE_DEFINITIONS ZD_HAVE_TURBOJPEG=1)
  add_library(zd::jpeg STATIC IMPORTED GLOBAL)
  set_target_properties(zd::jpeg PROPERTIES
    IMPORTED_LOCATION ${_zd_jpeg_dir}/lib/libjpeg.a
    INTERFACE_INCLUDE_DIRECTORIES ${_zd_jpeg_dir}/include)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(ZD_TURBOJPEG IMPORTED_TARGET GLOBAL libturbojpeg)
  pkg_check_modules(ZD_LIBJPEG IMPORTED_TARGET GLOBAL libjpeg)
  if(NOT ZD_TURBOJPEG_FOUND OR NOT ZD_LIBJPEG_FOUND)
    message(FATAL_ERROR
      "libjpeg-turbo's development files are missing (pkg-config libturbojpeg, libjpeg).\n"
      "Install them: apt-get install libturbojpeg0-dev libjpeg-dev")
  endif()
  add_library(zd::turbojpeg INTERFACE IMPORTED GLOBAL)
  target_link_libraries(zd::turbojpeg INTERFACE PkgConfig::ZD_TURBOJPEG)
  target_compile_definitions(zd::turbojpeg INTERFACE ZD_HAVE_TURBOJPEG=1)
  add_library(zd::jpeg INTERFACE IMPORTED GLOBAL)
  target_link_libraries(zd::jpeg INTERFACE PkgConfig::ZD_LIBJPEG)
endif()
