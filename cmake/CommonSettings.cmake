# One interface target that every project target links: language level,
# warnings and the Qt string-safety switches.
add_library(morvane_common INTERFACE)
target_compile_features(morvane_common INTERFACE cxx_std_20)
target_compile_options(morvane_common INTERFACE
    -Wall -Wextra -Wnon-virtual-dtor -Wold-style-cast
    $<$<BOOL:${MORVANE_WERROR}>:-Werror>)
target_compile_definitions(morvane_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_USE_QSTRINGBUILDER
    QT_NO_KEYWORDS)

option(MORVANE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(MORVANE_SANITIZE)
    # Halt on the first report, also for undefined behaviour.
    target_compile_options(morvane_common INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(morvane_common INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
# libFuzzer targets (clang only): everything is instrumented for coverage and
# built with the sanitizers; see fuzz/.
option(MORVANE_FUZZ "Build the fuzz targets with libFuzzer (clang)" OFF)
if(MORVANE_FUZZ)
    target_compile_options(morvane_common INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(morvane_common INTERFACE -fsanitize=address,undefined)
endif()
option(MORVANE_HARDEN "Hardened build (library assertions, fortify)" OFF)
if(MORVANE_HARDEN)
    target_compile_definitions(morvane_common INTERFACE _GLIBCXX_ASSERTIONS)
    # Distribution builds bring their own level (dpkg-buildflags passes
    # -D_FORTIFY_SOURCE=2); a second definition would be a redefinition error
    # under -Werror, so theirs stands.
    set(flags_seen "${CMAKE_CXX_FLAGS}")
    if(CMAKE_BUILD_TYPE)
        string(TOUPPER "${CMAKE_BUILD_TYPE}" build_type)
        string(APPEND flags_seen " ${CMAKE_CXX_FLAGS_${build_type}}")
    endif()
    if(NOT flags_seen MATCHES "_FORTIFY_SOURCE")
        target_compile_definitions(morvane_common INTERFACE _FORTIFY_SOURCE=3)
    endif()
    target_compile_options(morvane_common INTERFACE -O2)
endif()
