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
target_include_directories(morvane_common INTERFACE
    ${PROJECT_SOURCE_DIR}/src
    ${PROJECT_BINARY_DIR}/src)

option(MORVANE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(MORVANE_SANITIZE)
    target_compile_options(morvane_common INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
    target_link_options(morvane_common INTERFACE -fsanitize=address,undefined)
endif()
option(MORVANE_HARDEN "Hardened build (library assertions, fortify)" OFF)
if(MORVANE_HARDEN)
    target_compile_definitions(morvane_common INTERFACE _GLIBCXX_ASSERTIONS _FORTIFY_SOURCE=3)
    target_compile_options(morvane_common INTERFACE -O2)
endif()
