# Stands for GoogleTest's package config in cross builds, whose targets cmake/WindowsGTest.cmake
# has already made from source.
if(NOT TARGET GTest::gtest OR NOT TARGET GTest::gtest_main)
  set(GTest_FOUND FALSE)
  set(GTest_NOT_FOUND_MESSAGE "GoogleTest targets are made by cmake/WindowsGTest.cmake")
endif()
