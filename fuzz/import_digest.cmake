# Adds import_digest (and the seed writer) to a build of any version of the
# project: fuzz/diff-import.sh passes this file as CMAKE_PROJECT_INCLUDE, so the
# same program is built against the import of two commits. The targets it links
# are defined later in the project; CMake resolves them when it generates.
add_executable(import_digest ${CMAKE_CURRENT_LIST_DIR}/import_digest.cpp)
target_compile_features(import_digest PRIVATE cxx_std_17)
target_link_libraries(import_digest PRIVATE qm_import qm_mshwriter qm_sample qmhost_core)

add_executable(digest_seeds ${CMAKE_CURRENT_LIST_DIR}/make_fuzz_seeds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../mshwriter/filesets/FileSets.cpp)
target_compile_features(digest_seeds PRIVATE cxx_std_17)
# The seed writer's command line and the sets of files it writes come from
# this checkout, whatever commit is built.
find_package(CLI11 REQUIRED)
target_include_directories(digest_seeds PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../mshwriter/commandline
  ${CMAKE_CURRENT_LIST_DIR}/../mshwriter/filesets)
target_link_libraries(digest_seeds PRIVATE qm_mshwriter qm_sample CLI11::CLI11)
