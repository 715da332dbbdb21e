# Every dependency is a Debian 12 package: scripts/setup installs those of the build, scripts/setup
# --tests those of the tests and benchmarks, which are left out when they are missing.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(nlohmann_json 3.11 REQUIRED)
find_package(date REQUIRED)
find_package(CLI11 REQUIRED)
pkg_check_modules(SYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo cairo-png cairo-svg)
pkg_check_modules(PANGO REQUIRED IMPORTED_TARGET pangocairo pango)
pkg_check_modules(SQLITE REQUIRED IMPORTED_TARGET sqlite3)
if(BUILD_TESTING)
  find_package(GTest)
  find_package(benchmark)
  if(GTest_FOUND AND benchmark_FOUND)
    include(GoogleTest)
  else()
    # The programs build without them (scripts/demo installs only what the programs need).
    message(STATUS "GoogleTest or Google Benchmark not found (scripts/setup --tests installs them): "
                   "the tests and benchmarks are left out")
    set(BUILD_TESTING OFF)
  endif()
endif()
find_program(MSGFMT_EXECUTABLE msgfmt REQUIRED)
