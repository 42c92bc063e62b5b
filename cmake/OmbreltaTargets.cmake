# Compiler settings shared by every target of the project, and the helpers that declare them.

set(OMBRELTA_WARNINGS -Wall -Wextra)

if(MINGW)
    # Only Windows' own DLLs at run time.
    add_link_options(-static -static-libgcc -static-libstdc++)
    # Applying a delta maps its base and its result at once (up to 512 MiB each): 4 GiB of
    # address space under 64-bit Windows instead of 2 leave room for both.
    add_link_options(-Wl,--large-address-aware)
    add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()

if(OMBRELTA_SANITIZE)
    add_compile_options(-fsanitize=${OMBRELTA_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${OMBRELTA_SANITIZE})
endif()

# ombrelta_add_layer(name DEPS ... WIN32_DEPS ... POSIX_DEPS ...): the folder's static library.
# Every .cpp of the folder belongs to it; Name_win.cpp files only on Windows, Name_posix.cpp
# files only elsewhere (the platform seam).
function(ombrelta_add_layer name)
    cmake_parse_arguments(A "" "" "DEPS;WIN32_DEPS;POSIX_DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(WIN32)
        list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
    else()
        list(FILTER sources EXCLUDE REGEX "_win\\.cpp$")
    endif()
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_compile_options(${name} PRIVATE ${OMBRELTA_WARNINGS})
    target_link_libraries(${name} PUBLIC ${A_DEPS})
    if(WIN32)
        target_link_libraries(${name} PUBLIC ${A_WIN32_DEPS})
    else()
        target_link_libraries(${name} PUBLIC ${A_POSIX_DEPS})
    endif()
endfunction()

# ombrelta_add_tool(name SOURCES ... DEPS ...): a console program over the libraries.
function(ombrelta_add_tool name)
    cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
    add_executable(${name} ${A_SOURCES})
    target_link_libraries(${name} PRIVATE ${A_DEPS})
    target_compile_options(${name} PRIVATE ${OMBRELTA_WARNINGS})
    if(MINGW)
        # wmain entry point for wide command-line arguments.
        target_link_options(${name} PRIVATE -municode)
    endif()
endfunction()
