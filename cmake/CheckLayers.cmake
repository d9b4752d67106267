# Fails when a source under src/ includes a header of a layer above its own.
#
#   cmake -DSOURCE_DIR=<src> [-DSTAMP=<file>] -P CheckLayers.cmake
#
# The folders of src/ are layers, lowest first; a folder may include its own headers and
# those of any folder before it in QUORIX_LAYERS, never one after it. A folder that is not
# listed is an error too, so a new folder has to be given its place.
set(QUORIX_LAYERS
  base       # status codes every layer shares
  platform   # the operating-system seam
  log        # the library's log
  pipeline   # threads, frame pools and queues
  model      # camera models, link and identity records
  config     # the per-model ini configuration
  imgproc    # the image pre-processing library
  transport  # byte channels to a camera
  protocol   # command sets
  imaging    # the frame engine and decoders
  session    # one opened stream of a camera
  upgrade    # firmware and JSON transfer workers
  device     # the device list, discovery, opened devices
  api)       # the exports

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "CheckLayers: SOURCE_DIR is not set")
endif()
get_filename_component(SOURCE_DIR ${SOURCE_DIR} ABSOLUTE)

file(GLOB folders RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
set(violations "")
foreach(folder IN LISTS folders)
  if(NOT IS_DIRECTORY ${SOURCE_DIR}/${folder})
    continue()
  endif()
  list(FIND QUORIX_LAYERS ${folder} own)
  if(own EQUAL -1)
    string(APPEND violations "  src/${folder}/ has no place among the layers\n")
    continue()
  endif()
  file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp
    ${SOURCE_DIR}/${folder}/*.c)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[A-Za-z0-9_]+/")
    foreach(line IN LISTS includes)
      string(REGEX MATCH "\"([A-Za-z0-9_]+)/" _ "${line}")
      set(target ${CMAKE_MATCH_1})
      if(target STREQUAL "quorix")
        continue()  # the public header
      endif()
      list(FIND QUORIX_LAYERS ${target} theirs)
      if(theirs GREATER own)
        file(RELATIVE_PATH where ${SOURCE_DIR} ${source})
        string(STRIP "${line}" line)
        string(APPEND violations "  src/${where}: ${line} (${folder} is below ${target})\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes that run up the layers:\n${violations}")
endif()
if(STAMP)
  file(TOUCH ${STAMP})
endif()
