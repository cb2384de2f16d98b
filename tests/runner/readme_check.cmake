# The README's stacked example is the ship list of a bundled scenario, word for word, so that
# what it shows is what the runner flies (scenario_stacked checks that flight).
#
#   cmake -DREADME=README.md -DSCENARIO=file.scn -P readme_check.cmake
cmake_minimum_required(VERSION 3.25)
file(READ ${README} readme)
file(READ ${SCENARIO} scenario)
string(REGEX MATCH "BEGIN_SHIPS\n.*END_SHIPS\n" ships "${scenario}")
string(FIND "${readme}" "${ships}" at)
if(ships STREQUAL "" OR at LESS 0)
  message(FATAL_ERROR "README.md does not show the ship list of ${SCENARIO}:\n${ships}")
endif()
