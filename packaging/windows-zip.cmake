# Makes the Windows release archive, run as a script by the target windows_zip (packaging/
# CMakeLists.txt):
#   cmake -DPROGRAMS="korvex.exe;korvex-cli.exe" -DSTRIP=strip -DSOURCE=<source tree>
#         -DSTAGE=<folder> -DNAME=korvex-<version>-windows-x64 -DOUTPUT=<name>.zip
#         -P windows-zip.cmake
# The archive holds one folder NAME with the PROGRAMS (stripped), the help pages in help\ beside
# them, where korvex.exe looks for them, README.txt and the licence as LICENSE.txt, both with CR LF
# line ends as Windows editors expect. Every file gets the same time stamp, so that the same
# sources give the same archive. The installer (windows-msi.cmake) takes its files from STAGE/NAME.
cmake_minimum_required(VERSION 3.25)

set(folder ${STAGE}/${NAME})
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${folder})

foreach(program IN LISTS PROGRAMS)
  get_filename_component(program_name ${program} NAME)
  execute_process(COMMAND ${STRIP} -o ${folder}/${program_name} ${program}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(GLOB help_pages ${SOURCE}/res/help/*.html)
file(COPY ${help_pages} DESTINATION ${folder}/help)

# text_file(FROM TO): FROM with CR LF line ends as TO.
function(text_file from to)
  file(READ ${from} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${to} "${text}")
endfunction()

text_file(${SOURCE}/README.md ${folder}/README.txt)
foreach(name LICENSE LICENSE.txt LICENSE.md COPYING)
  if(EXISTS ${SOURCE}/${name})
    text_file(${SOURCE}/${name} ${folder}/LICENSE.txt)
    break()
  endif()
endforeach()

# Files only, in a fixed order: a folder given to tar would be read in the file system's order.
file(GLOB_RECURSE files RELATIVE ${STAGE} ${folder}/*)
list(SORT files)
file(REMOVE ${OUTPUT})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUTPUT} --format=zip
                        "--mtime=2000-01-01 00:00:00 UTC" -- ${files}
                WORKING_DIRECTORY ${STAGE} COMMAND_ERROR_IS_FATAL ANY)
