# The Windows build's dist/ folder: VormetraProxy.exe, the two OpenSSL DLLs it loads, which is
# all the program needs at run time, and certs.bat, which has the program make its certificates (its C and C++ runtimes are linked in statically). The DLLs
# come from VP_OPENSSL_DLL_DIR (tools/openssl-win.sh prints it); the test programs get a copy too,
# since they load the library from their own folder.

set(VP_OPENSSL_DLL_DIR "" CACHE PATH "Folder with the OpenSSL 3 DLLs of this Windows build")

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VP_OPENSSL_DLL_SUFFIX "-x64")
else()
  set(VP_OPENSSL_DLL_SUFFIX "")
endif()
set(VP_OPENSSL_DLLS libssl-3${VP_OPENSSL_DLL_SUFFIX}.dll libcrypto-3${VP_OPENSSL_DLL_SUFFIX}.dll)

if(NOT VP_OPENSSL_DLL_DIR)
  message(STATUS "VP_OPENSSL_DLL_DIR not set: no dist/ folder, TLS tests will skip")
  return()
endif()

set(VP_OPENSSL_DLL_PATHS)
foreach(dll ${VP_OPENSSL_DLLS})
  if(NOT EXISTS ${VP_OPENSSL_DLL_DIR}/${dll})
    message(FATAL_ERROR "${VP_OPENSSL_DLL_DIR} has no ${dll}")
  endif()
  list(APPEND VP_OPENSSL_DLL_PATHS ${VP_OPENSSL_DLL_DIR}/${dll})
endforeach()

set(VP_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
set(VP_DIST_FILES ${VP_DIST_DIR}/VormetraProxy.exe ${VP_DIST_DIR}/certs.bat)
foreach(dll ${VP_OPENSSL_DLLS})
  list(APPEND VP_DIST_FILES ${VP_DIST_DIR}/${dll})
endforeach()
add_custom_command(
  OUTPUT ${VP_DIST_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VP_DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:vormetra-proxy> ${VP_OPENSSL_DLL_PATHS}
          ${CMAKE_SOURCE_DIR}/src/app/certs.bat ${VP_DIST_DIR}
  DEPENDS vormetra-proxy ${VP_OPENSSL_DLL_PATHS} ${CMAKE_SOURCE_DIR}/src/app/certs.bat
  COMMENT "Collecting VormetraProxy.exe and its OpenSSL DLLs in dist/"
  VERBATIM)
add_custom_target(vp_dist ALL DEPENDS ${VP_DIST_FILES})
