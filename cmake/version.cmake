# The one version of the module: the top-level project() line. Writes quillmark_version.h into
# ${CMAKE_BINARY_DIR}/generated for the DLL's version resource and the Version property; sets QM_VERSION_INCLUDE.
get_filename_component(qm_version_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
file(STRINGS ${qm_version_root}/CMakeLists.txt qm_project_line REGEX "^project\\(Quillmark VERSION ")
if(NOT qm_project_line MATCHES "VERSION ([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)")
  message(FATAL_ERROR "CMakeLists.txt: project(Quillmark VERSION A.B.C.D) expected")
endif()
set(QM_VERSION_MAJOR ${CMAKE_MATCH_1})
set(QM_VERSION_MINOR ${CMAKE_MATCH_2})
set(QM_VERSION_PATCH ${CMAKE_MATCH_3})
set(QM_VERSION_TWEAK ${CMAKE_MATCH_4})
set(QM_VERSION_INCLUDE ${CMAKE_BINARY_DIR}/generated)
configure_file(${qm_version_root}/src/common/quillmark_version.h.in ${QM_VERSION_INCLUDE}/quillmark_version.h @ONLY)
