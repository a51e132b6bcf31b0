# One place for the build settings that every target of the project links.
add_library(orvelo_build_settings INTERFACE)
target_compile_features(orvelo_build_settings INTERFACE cxx_std_20)
target_compile_options(orvelo_build_settings INTERFACE -Wall -Wextra)
target_compile_definitions(orvelo_build_settings INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_USE_QSTRINGBUILDER)

# The stricter warnings of the production code (every library and program; not the tests, the
# benchmarks or the fuzz checks, and never Qt's headers, which imported targets give as system
# headers). orvelo_use_strict_warnings() at the end of the top-level CMakeLists.txt links it.
add_library(orvelo_strict_warnings INTERFACE)
target_compile_options(orvelo_strict_warnings INTERFACE
    -Wshadow -Wconversion -Wsign-conversion -Wpedantic -Wold-style-cast)

option(ORVELO_WERROR "Treat compiler warnings as errors" OFF)
if(ORVELO_WERROR)
    target_compile_options(orvelo_build_settings INTERFACE -Werror)
endif()

# Links orvelo_strict_warnings into every library and program of the folders added from the top
# level, but tests/, bench/ and the fuzz folders; a folder added later is covered by itself.
function(orvelo_use_strict_warnings)
    get_property(folders DIRECTORY ${PROJECT_SOURCE_DIR} PROPERTY SUBDIRECTORIES)
    foreach(folder ${folders})
        file(RELATIVE_PATH name ${PROJECT_SOURCE_DIR} ${folder})
        if(name MATCHES "^(tests|bench)(/|$)" OR name MATCHES "(^|/)fuzz$")
            continue()
        endif()
        get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target ${targets})
            get_target_property(type ${target} TYPE)
            if(type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$"
               AND NOT target MATCHES "fuzz")
                target_link_libraries(${target} PRIVATE orvelo_strict_warnings)
            endif()
        endforeach()
    endforeach()
endfunction()

option(ORVELO_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(ORVELO_SANITIZE)
    target_compile_options(orvelo_build_settings INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
    target_link_options(orvelo_build_settings INTERFACE -fsanitize=address,undefined)
endif()

# orvelo_add_fuzzer(NAME SOURCES... LIBS... INSTRUMENT...): a libFuzzer target in <build>/fuzzers,
# for a clang build with ORVELO_BUILD_FUZZERS (scripts/fuzz makes one). The INSTRUMENT libraries
# are compiled with coverage and sanitizers so that the fuzzer sees into the code it drives.
set(ORVELO_FUZZ_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
function(orvelo_add_fuzzer name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;INSTRUMENT" ${ARGN})
    foreach(lib ${ARG_INSTRUMENT})
        target_compile_options(${lib} PRIVATE ${ORVELO_FUZZ_FLAGS})
    endforeach()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers AUTOMOC OFF)
endfunction()

# `format`: formats every tracked C and C++ source in place (scripts/check-format --fix), the
# files that scripts/check-format checks.
add_custom_target(format
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-format --fix
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    USES_TERMINAL
    VERBATIM)
