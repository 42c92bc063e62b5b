# zstd as the target Zstd::Zstd: Debian's libzstd natively (package libzstd-dev); for Windows the
# static decoder that build-zstd-mingw.sh builds from Debian's source package into a cache folder.

if(MINGW)
    set(OMBRELTA_ZSTD_MINGW_DIR "${PROJECT_SOURCE_DIR}/build/third-party/zstd-mingw" CACHE PATH
        "Where the MinGW build of zstd's decoder is kept")
    if(NOT EXISTS "${OMBRELTA_ZSTD_MINGW_DIR}/lib/libzstd.a")
        message(STATUS "Building zstd's decoder for MinGW from Debian's source package")
        execute_process(COMMAND bash "${CMAKE_CURRENT_LIST_DIR}/build-zstd-mingw.sh" "${OMBRELTA_ZSTD_MINGW_DIR}"
                                "${CMAKE_C_COMPILER}" "${CMAKE_AR}"
                        RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            message(FATAL_ERROR "zstd for MinGW could not be built (see above)")
        endif()
    endif()
    add_library(Zstd::Zstd STATIC IMPORTED)
    set_target_properties(Zstd::Zstd PROPERTIES
        IMPORTED_LOCATION "${OMBRELTA_ZSTD_MINGW_DIR}/lib/libzstd.a"
        INTERFACE_INCLUDE_DIRECTORIES "${OMBRELTA_ZSTD_MINGW_DIR}/include")
else()
    find_path(OMBRELTA_ZSTD_INCLUDE_DIR zstd.h)
    find_library(OMBRELTA_ZSTD_LIBRARY zstd)
    if(NOT OMBRELTA_ZSTD_INCLUDE_DIR OR NOT OMBRELTA_ZSTD_LIBRARY)
        message(FATAL_ERROR "zstd not found (Debian package libzstd-dev)")
    endif()
    add_library(Zstd::Zstd UNKNOWN IMPORTED)
    set_target_properties(Zstd::Zstd PROPERTIES
        IMPORTED_LOCATION "${OMBRELTA_ZSTD_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${OMBRELTA_ZSTD_INCLUDE_DIR}")
endif()
