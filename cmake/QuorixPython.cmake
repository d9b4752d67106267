# Installs the quorix Python package (python/quorix) and its example.
#
# The package goes to <prefix>/QUORIX_PYTHON_INSTALL_DIR, by default lib/python3/dist-packages:
# on Debian that folder of /usr is on Python's path; for any other prefix P the user sets
# PYTHONPATH=P/lib/python3/dist-packages. The installed package finds the library of its
# own prefix through a path relative to itself, so the prefix can be moved.
set(QUORIX_PYTHON_INSTALL_DIR "lib/python3/dist-packages" CACHE STRING
  "Folder of the quorix Python package, relative to the install prefix (or absolute)")

if(IS_ABSOLUTE "${QUORIX_PYTHON_INSTALL_DIR}")
  # Outside the prefix: the library's place is fixed at configure time.
  file(RELATIVE_PATH QUORIX_PYTHON_TO_LIBDIR "${QUORIX_PYTHON_INSTALL_DIR}/quorix"
    "${CMAKE_INSTALL_FULL_LIBDIR}")
else()
  file(RELATIVE_PATH QUORIX_PYTHON_TO_LIBDIR "/prefix/${QUORIX_PYTHON_INSTALL_DIR}/quorix"
    "/prefix/${CMAKE_INSTALL_LIBDIR}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/python/_layout.py.in
  ${PROJECT_BINARY_DIR}/python/quorix/_layout.py @ONLY)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/quorix DESTINATION ${QUORIX_PYTHON_INSTALL_DIR}
  PATTERN "__pycache__" EXCLUDE
  PATTERN "_layout.py" EXCLUDE)
install(FILES ${PROJECT_BINARY_DIR}/python/quorix/_layout.py
  DESTINATION ${QUORIX_PYTHON_INSTALL_DIR}/quorix)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/examples/python/stream.py
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/python)
