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

option(ORVELO_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(ORVELO_SANITIZE)
    target_compile_options(orvelo_build_settings INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
    target_link_options(orvelo_build_settings INTERFACE -fsanitize=address,undefined)
endif()
