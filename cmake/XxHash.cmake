# xxHash's header (Debian's libxxhash-dev), used inline: no library to link. The Windows build
# takes the same header from a folder of its own, so the rest of the host's headers stay out of it.
find_path(OMBRELTA_XXHASH_HOST_INCLUDE xxhash.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_library(XxHash::Inline INTERFACE IMPORTED)
if(WIN32)
    set(xxhash_dir "${CMAKE_BINARY_DIR}/xxhash-include")
    file(COPY "${OMBRELTA_XXHASH_HOST_INCLUDE}/xxhash.h" DESTINATION "${xxhash_dir}")
    target_include_directories(XxHash::Inline INTERFACE "${xxhash_dir}")
endif()
