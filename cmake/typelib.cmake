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
file(MAKE_DIRECTORY ${QM_IDL_OUT_DIR})
add_custom_command(
  OUTPUT ${QM_IDL_TLB} ${QM_IDL_HEADER} ${QM_IDL_IID_SOURCE}
  COMMAND widl ${QM_WIDL_ARCH} -I/usr/include/wine/wine/windows -L${QM_WINE_LIBDIR}
          -t -T ${QM_IDL_TLB} -h -H ${QM_IDL_HEADER} -u -U ${QM_IDL_IID_SOURCE} ${QM_IDL}
  DEPENDS ${QM_IDL}
  COMMENT "widl quillmark.idl")
add_custom_target(qm_typelib DEPENDS ${QM_IDL_TLB} ${QM_IDL_HEADER} ${QM_IDL_IID_SOURCE})
# Resource scripts find the type library and the registry script through these folders.
string(APPEND CMAKE_RC_FLAGS " -I${QM_IDL_OUT_DIR} -I${CMAKE_SOURCE_DIR}/src/module/win32 -I${CMAKE_SOURCE_DIR}/src")
