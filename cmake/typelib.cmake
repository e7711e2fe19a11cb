# The type library and its C declarations, made from the IDL by widl.
set(QM_IDL ${CMAKE_SOURCE_DIR}/src/module/win32/quillmark.idl)
set(QM_IDL_OUT_DIR ${CMAKE_BINARY_DIR}/idl)
set(QM_IDL_TLB ${QM_IDL_OUT_DIR}/quillmark.tlb)
set(QM_IDL_HEADER ${QM_IDL_OUT_DIR}/quillmark_h.h)
set(QM_IDL_IID_SOURCE ${QM_IDL_OUT_DIR}/quillmark_i.c)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QM_WIDL_ARCH --win64)
else()
  set(QM_WIDL_ARCH --win32)
endif()
# Debian's mingw-w64-tools installs the IDL compiler only under the target's prefix.
find_program(QM_WIDL NAMES ${QM_MINGW_TRIPLE}-widl)
if(NOT QM_WIDL)
  message(FATAL_ERROR "${QM_MINGW_TRIPLE}-widl not found: install the Debian package mingw-w64-tools")
endif()
set(QM_WIDL_INCLUDE /usr/include/wine/wine/windows)
if(NOT EXISTS ${QM_WIDL_INCLUDE}/oaidl.idl)
  message(FATAL_ERROR "Wine's IDL files (${QM_WIDL_INCLUDE}) not found: install the Debian package libwine-dev")
endif()
# widl reads the imported stdole2 only for its names and GUIDs: the x86 type library it writes is byte for byte the
# same with the 64-bit copy, so that one serves where wine32:i386 cannot be installed.
set(QM_WINE64_LIBDIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
if(NOT EXISTS ${QM_WINE_LIBDIR}/stdole2.tlb AND EXISTS ${QM_WINE64_LIBDIR}/stdole2.tlb)
  message(STATUS "stdole2.tlb not in ${QM_WINE_LIBDIR} (${QM_WINE_PACKAGE}); importing the one of ${QM_WINE64_LIBDIR}")
  set(QM_WINE_LIBDIR ${QM_WINE64_LIBDIR})
endif()
if(NOT EXISTS ${QM_WINE_LIBDIR}/stdole2.tlb)
  message(FATAL_ERROR "stdole2.tlb not found in ${QM_WINE_LIBDIR}: install the Debian package "
                      "${QM_WINE_PACKAGE}")
endif()
file(MAKE_DIRECTORY ${QM_IDL_OUT_DIR})
add_custom_command(
  OUTPUT ${QM_IDL_TLB} ${QM_IDL_HEADER} ${QM_IDL_IID_SOURCE}
  COMMAND ${QM_WIDL} ${QM_WIDL_ARCH} -I${QM_WIDL_INCLUDE} -L${QM_WINE_LIBDIR}
          -t -T ${QM_IDL_TLB} -h -H ${QM_IDL_HEADER} -u -U ${QM_IDL_IID_SOURCE} ${QM_IDL}
  DEPENDS ${QM_IDL}
  COMMENT "widl quillmark.idl")
add_custom_target(qm_typelib DEPENDS ${QM_IDL_TLB} ${QM_IDL_HEADER} ${QM_IDL_IID_SOURCE})
# Resource scripts find the type library and the registry script through these folders.
string(APPEND CMAKE_RC_FLAGS " -I${QM_IDL_OUT_DIR} -I${CMAKE_SOURCE_DIR}/src/module/win32 -I${CMAKE_SOURCE_DIR}/src")
