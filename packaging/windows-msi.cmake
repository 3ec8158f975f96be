# Makes the Windows installer with wixl, run as a script by the target windows_msi (packaging/
# CMakeLists.txt):
#   cmake -DWIXL=wixl -DWIXL_HEAT=wixl-heat -DWXS=korvex.wxs -DFOLDER=<the archive's folder>
#         -DWORK=<folder> -DVERSION=1.4.0 -DUPGRADE_CODE=<GUID> -DPRODUCT_CODE=<GUID>
#         -DICON=korvex.ico -DOUTPUT=korvex-<version>-windows-x64.msi -P windows-msi.cmake
# The installer holds the files of the release archive's folder FOLDER, so both ship the same bytes:
# korvex.wxs names the programs, which the Start-menu shortcut needs, and wixl-heat lists the rest
# (README.txt, LICENSE.txt, help\*.html) in WORK/documents.wxs, whatever the archive holds.
cmake_minimum_required(VERSION 3.25)

file(GLOB_RECURSE files ${FOLDER}/*)
list(FILTER files EXCLUDE REGEX "/korvex(-cli)?\\.exe$")
list(SORT files)
list(JOIN files "\n" listing)
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/documents.txt "${listing}\n")
execute_process(COMMAND ${WIXL_HEAT} --prefix ${FOLDER}/ --directory-ref INSTALLDIR
                        --component-group Documents --var var.Stage --win64
                INPUT_FILE ${WORK}/documents.txt OUTPUT_FILE ${WORK}/documents.wxs
                COMMAND_ERROR_IS_FATAL ANY)

# wixl finds a file only by a path relative to its working directory.
file(RELATIVE_PATH stage ${WORK} ${FOLDER})
file(RELATIVE_PATH icon ${WORK} ${ICON})
file(REMOVE ${OUTPUT})
execute_process(COMMAND ${WIXL} --arch x64 --define Version=${VERSION}
                        --define UpgradeCode=${UPGRADE_CODE} --define ProductCode=${PRODUCT_CODE}
                        --define Stage=${stage} --define Icon=${icon} --define Win64=yes
                        --output ${OUTPUT} ${WXS} ${WORK}/documents.wxs
                WORKING_DIRECTORY ${WORK} COMMAND_ERROR_IS_FATAL ANY)
